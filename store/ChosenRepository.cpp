#include "store/ChosenRepository.h"

#include <utility>

#include "store/LocalGroupRepository.h"
#include "store/PgGroupRepository.h"
#include "store/StoreChoice.h"

namespace {

// The store when the choice of it cannot be read: every operation fails with why.
class TUnreadableChoice : public TGroupRepository, private TLoadedGroup {
public:
    explicit TUnreadableChoice(std::string why) : why_(std::move(why)) {}

    void Open() override { Fail(); }
    void Refresh() override { Fail(); }
    std::vector<std::string> Names() const override { return {}; }
    std::vector<TGroupEntry> Entries() const override { return {}; }
    bool Has(const std::string&) const override { return false; }
    bool Load(const std::string&) override { Fail(); }
    bool IsLoaded() const override { return false; }
    void Unload() override {}
    TLoadedGroup& LoadedGroup() override { return *this; }
    void Add(const std::vector<TNewGroup>&) override { Fail(); }
    bool Delete(const std::string&) override { Fail(); }
    TBackupReport BackUp(const std::string&) override { Fail(); }

private:
    TGroupIDs IDs() const override { Fail(); }
    void Save(const TGroupIDs&) override { Fail(); }
    void StoreVehicleID(int, const std::string&) override { Fail(); }
    void StoreTrailerID(int, const std::string&) override { Fail(); }

    [[noreturn]] void Fail() const { throw EDBEngineError(why_); }

    std::string why_;
};

}  // namespace

std::unique_ptr<TGroupRepository> ChosenRepository(const TStorePaths& paths,
                                                   TDateTimeSource clock) {
    TStoreChoice choice;
    try {
        choice = ReadStoreChoice();
    } catch (const EStoreChoiceError& e) {
        return std::make_unique<TUnreadableChoice>(e.what());
    }
    if (choice.kind == TStoreKind::Server)
        return std::make_unique<TPgGroupRepository>(choice.connection, std::move(clock));
    return std::make_unique<TLocalGroupRepository>(paths, std::move(clock));
}
