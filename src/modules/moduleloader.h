#pragma once

#include <QObject>

// The program's modules: Qt plugins with large dependencies (Chromium, Qt Charts) that a start
// without their work never maps, loaded on first use and never unloaded.
struct ModulePlaces {
    const char* what;      // as the error names it: "browser"
    const char* fileName;  // beside the executable, in its program folder
    const char* installed; // relative to the executable, when installed
    const char* built;     // where the build put it, for the build tree's programs
};

// The module's object, loading it if need be, with the interface of this id. Throws AppError
// "Cannot load the <what> module: <reason>", the reason naming another version's id.
QObject* moduleInstance(const ModulePlaces& module, const char* interfaceId);

// The module's interface (moduleinterfaces.h).
template <typename Interface> Interface& loadModule(const ModulePlaces& module) {
    return *qobject_cast<Interface*>(moduleInstance(module, qobject_interface_iid<Interface*>()));
}
