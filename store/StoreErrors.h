#pragma once
// The errors of the group store, whichever way it keeps the groups. Each text names
// what failed, with the name of the handle or place in front.
#include <stdexcept>

// Data-access error.
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Error of the engine that keeps the groups (missing, damaged or foreign data, a
// refused name, a duplicate key, a record changed or deleted by another user, disk
// full, read-only, busy); the text names the table.
class EDBEngineError : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// An edit or delete found its record no longer as this copy read it: "Record was
// changed by another user" or "Record was deleted by another user".
class ERecordConflict : public EDBEngineError {
public:
    using EDBEngineError::EDBEngineError;
};

// The store is not there yet: what the setup tool makes (the data folder, the groups
// table) is missing. The text is the engine's own.
class EStoreNotSetUp : public EDBEngineError {
public:
    using EDBEngineError::EDBEngineError;
};
