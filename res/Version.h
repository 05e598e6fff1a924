/* The program's version, written once. The main dialog's caption shows it,
   the version resources of the program and of both libraries carry it, and
   the build (project version, package names) reads it from here. */
#ifndef ORVEX_VERSION_H
#define ORVEX_VERSION_H

#define ORVEX_VERSION "5.00.06W"
#define ORVEX_PRODUCT_NAME "Orvex"

#endif
