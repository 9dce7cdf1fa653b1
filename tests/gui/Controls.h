#pragma once

#include <QObject>

#include <stdexcept>
#include <string>

namespace cantorel::test {

// A control of a window found by its object name, as assistive tools find it; a missing
// one fails the test.
template <typename T>
T* control(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(name);
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return found;
}

} // namespace cantorel::test
