// The module (shared library or program) that holds a piece of code.
//
// Stateless; any thread.
#pragma once

// Keeps the module holding `code` (any address of a function in it) loaded for the life of the
// process: a later dlclose by the host leaves it mapped. For code that threads may still run
// after the plug-in has closed, or that a library keeps a pointer to. True when it stays loaded
// (the main program always does).
bool UTIL_KeepModuleLoaded(const void* code);
