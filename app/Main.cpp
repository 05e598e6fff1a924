// Entry point of Orvex.exe.
#include "app/UpdaterApp.h"
#include "platform/App.h"

CUpdaterApp theApp;

int main() { return RunApplication(); }
