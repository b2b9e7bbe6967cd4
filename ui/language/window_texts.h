#pragma once

#include <QString>

// Messages the windows show themselves, in both interface languages (1 French, else English).
enum class WindowText {
    DeviceUnavailable, // a drive list's volume cannot be read
};

QString windowText(WindowText text, int langue);
