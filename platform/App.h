// Start-up of the program: the platform prepares itself and calls the one
// application object's InitInstance.
#pragma once

int RunApplication();
