#pragma once

#include <QString>

// Reasons of our own, beside the system's error numbers (which are all positive).
enum : int {
    kErrorEmptyName = -1,      // no file name given for the list
    kErrorNotRegularFile = -2, // a block device or a socket stands where the list should go
};

// The reason for an error number, in the interface language (0 English, 1 French).
QString systemErrorText(int code, int langue);
