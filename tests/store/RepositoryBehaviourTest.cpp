// What the window, the transfers and the groups tool rely on of a group repository,
// held by both kinds: the local table files and the group server. Each "copy" is
// another window or another PC on the same store.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/PgGroupRepository.h"
#include "store/PgSchema.h"
#include "tests/store/ServerSupport.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

// One store, and as many repositories on it as a test asks for.
class TStoreUnderTest {
public:
    virtual ~TStoreUnderTest() = default;
    virtual std::unique_ptr<TGroupRepository> Copy(TDateTimeSource clock = FixedClock()) = 0;
    std::unique_ptr<TGroupRepository> OpenedCopy(TDateTimeSource clock = FixedClock()) {
        auto copy = Copy(std::move(clock));
        copy->Open();
        return copy;
    }
};

class TLocalStore : public TStoreUnderTest {
public:
    std::unique_ptr<TGroupRepository> Copy(TDateTimeSource clock) override {
        return std::make_unique<TLocalGroupRepository>(home_.paths, std::move(clock));
    }

private:
    TStoreHome home_;
};

class TServerStore : public TStoreUnderTest {
public:
    TServerStore()
        : connection_(servertest::SharedServer().Connection(servertest::FreshDatabase())) {
        TPgConnection setup(connection_);
        EnsureSchema(setup);
    }
    std::unique_ptr<TGroupRepository> Copy(TDateTimeSource clock) override {
        return std::make_unique<TPgGroupRepository>(connection_, std::move(clock));
    }

private:
    std::string connection_;
};

using TStoreMaker = std::function<std::unique_ptr<TStoreUnderTest>()>;

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

class EitherRepository : public ::testing::TestWithParam<TStoreMaker> {
protected:
    void SetUp() override { store = GetParam()(); }
    std::unique_ptr<TStoreUnderTest> store;
};

TEST_P(EitherRepository, GroupsAreListedInTheOrderAddedAndLoadAsStoredCutToTheirFields) {
    auto first = store->OpenedCopy();
    first->Add({{"Fleet A", NumberedIDs("a")}, {"", {}}, {"fleet a", NumberedIDs("c")}});
    first->Add({{"Z", {}}});
    const std::vector<std::string> order{"Fleet A", "", "fleet a", "Z"};
    EXPECT_EQ(first->Names(), order);
    auto other = store->OpenedCopy();
    EXPECT_EQ(other->Names(), order);
    EXPECT_TRUE(other->Has("fleet a"));
    EXPECT_FALSE(other->Has("FLEET A"));
    EXPECT_EQ(ListNameOf(*other, "Z"), "Z 07-12-2026 14_05_33 by ");

    ASSERT_TRUE(other->Load("fleet a"));
    EXPECT_EQ(other->LoadedGroup().IDs().Vehicle[95], "cV-95");
    EXPECT_EQ(other->LoadedGroup().IDs().Trailer[31], "cT-31");
    TGroupIDs typed = NumberedIDs("s");
    typed.Vehicle[0] = "ÄBCDEFGHIJKLMNOPQRSTUVW";  // 23 characters, the first two bytes long
    other->LoadedGroup().Save(typed);
    ASSERT_TRUE(first->Load("fleet a"));
    EXPECT_EQ(first->LoadedGroup().IDs().Vehicle[0], "ÄBCDEFGHIJKLMNOP");
    EXPECT_EQ(first->LoadedGroup().IDs().Vehicle[95], "sV-95");
    // A new group's IDs are blank.
    ASSERT_TRUE(first->Load("Z"));
    EXPECT_EQ(first->LoadedGroup().IDs().Vehicle[50], "");

    // Groups other copies add are seen when the list is read anew.
    other->Add({{"Later", {}}});
    EXPECT_FALSE(first->Has("Later"));
    first->Refresh();
    EXPECT_TRUE(first->Has("Later"));
}

TEST_P(EitherRepository, AddingIsAllOrNothingAndANameTakenIsRefusedAsTheTablesRefuseIt) {
    // A second on for every new group, so that only the names meet.
    TDateTimeSource ticking = FixedClock();
    ticking.Now = [second = 0]() mutable { return Moment(2026, 12, 7, 10, 0, second++ % 60); };
    auto groups = store->OpenedCopy(ticking);
    groups->Add({{"A", NumberedIDs("a")}});
    for (const auto& batch : std::vector<std::vector<TNewGroup>>{
             {{"B", NumberedIDs("b")}, {"A", {}}}, {{"C", {}}, {"C", NumberedIDs("c")}}}) {
        const std::string failure = Failure([&] { groups->Add(batch); });
        EXPECT_TRUE(StartsWith(failure,
                               "engine|IDGroupTable: Key violation: a record with the "
                               "same key already exists in table "))
            << failure;
    }
    auto fresh = store->OpenedCopy();
    EXPECT_EQ(fresh->Names(), (std::vector<std::string>{"A"}));
    ASSERT_TRUE(fresh->Load("A"));
    EXPECT_EQ(fresh->LoadedGroup().IDs().Vehicle[3], "aV-3");

    // Before the store is open nothing can be added.
    auto closed = store->Copy();
    EXPECT_EQ(Failure([&] {
                  closed->Add({{"D", {}}});
              }),
              "data|IDGroupTable: Cannot perform this operation on a closed dataset");
}

TEST_P(EitherRepository, ASaveAfterAnotherCopysSaveIsRefusedUntilTheGroupIsLoadedAgain) {
    auto mine = store->OpenedCopy();
    mine->Add({{"G", NumberedIDs("g")}});
    auto theirs = store->OpenedCopy();
    ASSERT_TRUE(mine->Load("G"));
    ASSERT_TRUE(theirs->Load("G"));
    theirs->LoadedGroup().Save(NumberedIDs("theirs"));

    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string refused = Failure([&] { mine->LoadedGroup().Save(NumberedIDs("mine")); });
        EXPECT_TRUE(
            StartsWith(refused, "conflict|IDListTable: Record was changed by another user: "))
            << refused;
    }
    // Nothing of the refused saves is stored, and a transfer's ID is refused alike.
    EXPECT_TRUE(StartsWith(Failure([&] { mine->LoadedGroup().StoreVehicleID(1, "X"); }),
                           "conflict|IDListTable: Record was changed by another user: "));
    auto check = store->OpenedCopy();
    ASSERT_TRUE(check->Load("G"));
    EXPECT_EQ(check->LoadedGroup().IDs().Vehicle[1], "theirsV-1");

    ASSERT_TRUE(mine->Load("G"));
    EXPECT_EQ(mine->LoadedGroup().IDs().Vehicle[1], "theirsV-1");
    mine->LoadedGroup().Save(NumberedIDs("mine"));
    // Its own saves and transfers keep the copy current: no conflict with itself.
    mine->LoadedGroup().StoreTrailerID(2, "T2");
    mine->LoadedGroup().Save(mine->LoadedGroup().IDs());
    ASSERT_TRUE(check->Load("G"));
    EXPECT_EQ(check->LoadedGroup().IDs().Trailer[2], "T2");
    EXPECT_EQ(check->LoadedGroup().IDs().Vehicle[2], "mineV-2");
}

TEST_P(EitherRepository, ATransfersIDsAreStoredOneByOneAndSeenByOthersAtOnce) {
    auto mine = store->OpenedCopy();
    mine->Add({{"T", {}}});
    ASSERT_TRUE(mine->Load("T"));
    TLoadedGroup& group = mine->LoadedGroup();
    group.StoreTrailerID(31, "TRAILER 31");
    group.StoreVehicleID(95, "VEHICLE 95 IS TOO LONG");
    EXPECT_EQ(group.IDs().Vehicle[95], "VEHICLE 95 IS TO");
    auto other = store->OpenedCopy();
    ASSERT_TRUE(other->Load("T"));
    EXPECT_EQ(other->LoadedGroup().IDs().Trailer[31], "TRAILER 31");
    EXPECT_EQ(other->LoadedGroup().IDs().Vehicle[95], "VEHICLE 95 IS TO");

    // Nothing loaded: every write of the group is refused.
    mine->Unload();
    for (const auto& write : std::vector<std::function<void()>>{
             [&] { group.StoreVehicleID(0, "X"); }, [&] { group.Save(NumberedIDs("x")); }})
        EXPECT_EQ(Failure(write),
                  "data|IDListTable: Cannot perform this operation on a closed dataset");
}

TEST_P(EitherRepository, ADeleteActsOnlyOnTheGroupAsReadAndLeavesNothingLoaded) {
    auto mine = store->OpenedCopy();
    mine->Add({{"A", {}}, {"B", {}}});
    auto theirs = store->OpenedCopy();
    ASSERT_TRUE(mine->Load("A"));
    ASSERT_TRUE(theirs->Load("A"));
    // Another copy deletes the group and makes one of the same name.
    EXPECT_TRUE(theirs->Delete("A"));
    EXPECT_FALSE(theirs->IsLoaded());
    theirs->Add({{"A", NumberedIDs("new")}});

    EXPECT_TRUE(StartsWith(Failure([&] { mine->Delete("A"); }),
                           "conflict|IDGroupTable: Record was deleted by another user: "));
    EXPECT_FALSE(mine->IsLoaded());
    auto check = store->OpenedCopy();
    EXPECT_EQ(check->Names(), (std::vector<std::string>{"B", "A"}));

    // Read anew, it goes; one that is not in the list is no one's to delete.
    mine->Refresh();
    ASSERT_TRUE(mine->Load("A"));
    EXPECT_EQ(mine->LoadedGroup().IDs().Vehicle[0], "newV-0");
    EXPECT_TRUE(mine->Delete("A"));
    EXPECT_EQ(Failure([&] { mine->Delete("A"); }),
              "data|IDGroupTable: no group named \"A\" to delete");
    check->Refresh();
    EXPECT_EQ(check->Names(), (std::vector<std::string>{"B"}));
}

TEST_P(EitherRepository, ABackupIsALocalStoreOfEveryGroupOrNothingAtAll) {
    auto groups = store->OpenedCopy();
    groups->Add({{"One", NumberedIDs("1")}, {"Two", NumberedIDs("2")}});
    TempHome elsewhere;
    const fs::path dir = elsewhere.root() / "backup";
    fs::create_directories(dir);
    const TBackupReport report = groups->BackUp(dir.string());
    EXPECT_EQ(report.Groups, 2);
    EXPECT_TRUE(report.LeftOut.empty());
    TLocalGroupRepository copy(StorePathsIn(dir.string()));
    copy.Open();
    EXPECT_EQ(copy.Names(), (std::vector<std::string>{"One", "Two"}));
    ASSERT_TRUE(copy.Load("Two"));
    EXPECT_EQ(copy.LoadedGroup().IDs().Vehicle[95], "2V-95");
    EXPECT_EQ(copy.LoadedGroup().IDs().Trailer[0], "2T-0");

    // Refused over a file already there, it leaves that folder as it found it.
    TempHome taken;
    std::ofstream(taken.root() / kGroupsTableName) << "someone else's file";
    const auto before = Snapshot(taken.root());
    EXPECT_TRUE(StartsWith(Failure([&] { groups->BackUp(taken.root().string()); }), "engine|"));
    EXPECT_EQ(Snapshot(taken.root()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EitherRepository,
    ::testing::Values(TStoreMaker([] { return std::make_unique<TLocalStore>(); }),
                      TStoreMaker([] { return std::make_unique<TServerStore>(); })),
    [](const ::testing::TestParamInfo<TStoreMaker>& info) {
        return info.index == 0 ? std::string("Local") : std::string("Server");
    });

}  // namespace
