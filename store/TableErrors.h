#pragma once
// The table layer's errors: the store's own (StoreErrors.h), and the one that tells a
// table or folder that is not there from every other failure. Each text carries the
// handle's name and ": " in front.
#include "store/StoreErrors.h"

// A table that does not exist, or the shared control directory that does not.
class ENoSuchTable : public EDBEngineError {
public:
    using EDBEngineError::EDBEngineError;
};
