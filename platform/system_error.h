#pragma once

// Reasons of our own for a failed file operation, beside the system's error numbers (which are
// all positive).
enum : int {
    kErrorEmptyName = -1,      // no file name given for the list
    kErrorNotRegularFile = -2, // a block device or a socket stands where the list should go
    kErrorForeignLink = -3,    // a symbolic link of another user stands where the list should go
    kErrorForeignFile = -4,    // a file of another user stands there (a shared folder)
};
