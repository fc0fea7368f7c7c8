#pragma once

#include <QJSEngine>
#include <QtGlobal>

namespace kt {

// Hands an object that C++ owns to a QML engine as a singleton: the engine
// must never delete it. Stops when installUi did not provide one.
template <typename T>
T* cppOwnedSingleton(T* instance, const char* name) {
    if (!instance)
        qFatal("The QML singleton %s was used before installUi provided it", name);
    QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
    return instance;
}

}  // namespace kt
