#pragma once
// The table layer's errors. Each text carries the handle's name and ": " in front.
#include <stdexcept>

// Data-access error.
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Error of the table engine itself (missing, damaged or foreign table, refused name,
// link or special file, duplicate key, record changed or deleted by another user,
// table moved away, disk full, read-only file); the text names the table.
class EDBEngineError : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// An edit or delete found its record no longer as this handle read it: "Record was
// changed by another user" or "Record was deleted by another user".
class ERecordConflict : public EDBEngineError {
public:
    using EDBEngineError::EDBEngineError;
};
