#pragma once
// The one place that knows which way this PC keeps its groups: the program and the
// groups tool get their repository here and never name its kind.
#include <memory>

#include "base/DateTimeSource.h"
#include "store/DataPaths.h"
#include "store/GroupRepository.h"

// The repository of the chosen store, not yet open: the table files in `paths` (the
// only kind there is yet), with `clock` naming the tables of new groups.
std::unique_ptr<TGroupRepository> ChosenRepository(const TStorePaths& paths, TDateTimeSource clock);
