#include "tools/groups/ToolStore.h"

#include <algorithm>
#include <utility>

#include "tools/groups/ToolErrors.h"

TToolStore::TToolStore(const TStorePaths& paths, TDateTimeSource clock)
    : store_(window_, boxes_, paths, std::move(clock)) {
    store_.OpenStore();
}

bool TToolStore::Has(const std::string& name) const {
    const std::vector<std::string> names = Names();
    return std::find(names.begin(), names.end(), name) != names.end();
}

TGroupIDs TToolStore::Load(const std::string& name) {
    store_.Select(name);
    if (!store_.HasSelection()) throw ERefusedInput("no group is named \"" + name + "\"");
    window_.IDs = {};
    store_.LoadGroup();
    if (!store_.IsLoaded())
        throw EToolFailure("group \"" + name + "\" names no ID list table, so it cannot be loaded");
    return window_.IDs;
}

void TToolStore::Save(const std::string& name, const TGroupIDs& ids) {
    Load(name);
    window_.IDs = ids;
    store_.SaveGroup();
}
