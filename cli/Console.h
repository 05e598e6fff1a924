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
// The path names a folder.
bool IsFolder(const std::string& path);
// What the process writes to its standard error between the two calls (a
// library's own lines) is kept from it and returned by the second, for the
// caller to show, or to give as a reason. Where the system gives no way to
// see it, it goes to standard error as ever and "" is returned.
void BeginStderrCapture();
std::string EndStderrCapture();

// Ctrl-C and the other signals that end a program (Ctrl-Break, a closed
// console; SIGINT, SIGTERM, SIGHUP, SIGQUIT): never fatal and never acted
// on inside a drive request. On Linux they are blocked in every thread and
// taken by one thread of their own, so no system call is interrupted and
// restarted, which would send the request in flight a second time. While
// held (the commit), one prints `heldFormat` with its name for %s and is
// otherwise ignored; at other times it is remembered for
// InterruptRequested. Call before any other thread starts.
void InstallInterruptHandler(const char* heldFormat);
void HoldInterrupts(bool hold);
// While `end` is set (nothing of an update has begun: a scan, a check, an
// update before it takes the drive), an interrupt ends the program at
// once with status 128 + its number (130 for Ctrl-C) and one line, and the
// result object with `json`: a request in flight then is only a query.
void EndOnInterrupt(bool end, bool json);
bool InterruptRequested();
// The name of the first interrupt that was remembered ("Ctrl-C",
// "SIGTERM"...), or "" when none was.
std::string InterruptName();
// One answer line from the terminal; false at the end of input or when an
// interrupt comes while it waits.
bool ReadAnswer(std::string* line);
// A privileged run: the program has rights its user lacks (file
// capabilities, set-user-ID), so nothing the user controls may choose code
// for it to run. Never on Windows.
bool PrivilegedRun();
// `path`, every folder above it, belong to root and none can be written by
// anyone else; *why says what fails. Always false on Windows.
bool OwnedByRootAlone(const std::string& path, std::string* why);
