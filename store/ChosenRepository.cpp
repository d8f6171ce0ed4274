#include "store/ChosenRepository.h"

#include <utility>

#include "store/LocalGroupRepository.h"

std::unique_ptr<TGroupRepository> ChosenRepository(const TStorePaths& paths,
                                                   TDateTimeSource clock) {
    return std::make_unique<TLocalGroupRepository>(paths, std::move(clock));
}
