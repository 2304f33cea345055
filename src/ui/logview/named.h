#pragma once

#include <QObject>

// Gives a control the object name tests find it by, and returns it.
template <class Control> Control *named(Control *control, const char *name) {
    control->setObjectName(name);
    return control;
}
