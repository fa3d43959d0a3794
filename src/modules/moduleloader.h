#pragma once

// The program's modules: shared libraries with large dependencies (Chromium, Qt Charts) that
// a start without their work never maps, loaded on first use and never unloaded.
struct ModulePlaces {
    const char* what;      // as the error names it: "browser"
    const char* fileName;  // beside the executable, in its program folder
    const char* installed; // relative to the executable, when installed
    const char* built;     // where the build put it, for the build tree's programs
};

// One of the module's entries by name, loading the module if need be. Throws AppError
// "Cannot load the <what> module: <reason>".
void* moduleEntry(const ModulePlaces& module, const char* name);

// An entry of moduleentries.h, by its name and typed as it is declared there.
#define MT_MODULE_ENTRY(module, entry)                                                             \
    reinterpret_cast<decltype(&(entry))>(moduleEntry(module, #entry))
