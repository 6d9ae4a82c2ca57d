#pragma once

#include <stdexcept>
#include <string>

#include <QObject>

namespace tellamo::test {

// The descendant of parent with the given object name and type, found as the settings and
// translation files find it. A missing one throws, which fails the test with its name rather
// than crashing on a null pointer.
template <class T> T& NamedChild(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child) {
        throw std::runtime_error(std::string("no child named ") + name + " under " +
                                 parent.objectName().toStdString());
    }
    return *child;
}

} // namespace tellamo::test
