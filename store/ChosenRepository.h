#pragma once
// The one place that knows which way this PC keeps its groups: the program and the
// groups tool get their repository here and never name its kind.
#include <memory>

#include "base/DateTimeSource.h"
#include "store/DataPaths.h"
#include "store/GroupRepository.h"

// The repository of the store the setup tool chose (store.conf), not yet open: the
// group server, or the table files in `paths`; `clock` names the ID list tables of new
// groups. A choice that cannot be read gives a repository whose Open fails with the
// reason: the program never falls back to the local files on its own, which would
// split the workshop's groups in two.
std::unique_ptr<TGroupRepository> ChosenRepository(const TStorePaths& paths, TDateTimeSource clock);
