// What orvex-cli needs of the system it runs on: terminals, its own folder,
// the environment and Ctrl-C. The only file of the command line that
// includes an operating-system header is Console.cpp.
#pragma once

#include <string>

enum ConsoleStream { CONSOLE_IN = 0, CONSOLE_OUT = 1, CONSOLE_ERR = 2 };

bool IsTerminal(ConsoleStream stream);
// The folder of the running program, without a trailing separator.
std::string ProgramDir();
bool FileReadable(const std::string& path);
void SetEnvironment(const char* name, const char* value);
// "/" or "\\".
char PathSeparator();

// Ctrl-C: noted, never fatal. While held (the commit), a Ctrl-C prints
// `heldLine` and is otherwise ignored; at other times it is remembered
// until TakeInterrupt.
void InstallInterruptHandler(const char* heldLine);
void HoldInterrupts(bool hold);
bool InterruptRequested();
