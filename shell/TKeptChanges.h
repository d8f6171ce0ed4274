#pragma once
// Typed IDs kept safe when the user's session ends and nobody can be asked about
// them: each such group's slots go into a CSV file of their own beside the groups,
// which Import takes back. The next start of the program tells of every such file.
#include <string>
#include <vector>

#include "store/SessionEnd.h"

class TKeptChanges : public TChangesKeeper {
public:
    // `folder` holds the kept files (the groups directory).
    explicit TKeptChanges(std::string folder) : folder_(std::move(folder)) {}

    // "Unsaved IDs of <group> <date> <time>.csv"; never over another file.
    void Keep(const std::string& groupName, const TGroupIDs& ids) override;

    // The kept files in `folder`, by name.
    static std::vector<std::string> KeptFiles(const std::string& folder);
    // What to tell the user of them; "" when there are none.
    static std::string Notice(const std::string& folder);

private:
    std::string folder_;
};

// Where the program keeps them: the groups directory, or the home folder when that
// is missing (a store on a server).
std::string KeptChangesFolder();
