#include "lib/QMException.h"
#include "lib/SupportLibrary.h"
#include "lib/classQMGuid10.h"
#include "lib/classQMPlatformUtils10.h"
#include "lib/classQMString10.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>

using testing_support::MakeDateTime;
using testing_support::TempDir;
using testing_support::TestClock;

namespace {

// A fixed clock and volume serial, and the support library started under them.
class QMGuid : public ::testing::Test {
protected:
    QMGuid() : clock_(MakeDateTime(2026, 3, 7, 9, 5, 3, 42)) {
        TQMPlatformUtils::SetVolumeSerialSource([this] { return serial_; });
        support_.emplace();
    }
    ~QMGuid() override {
        support_.reset();
        TQMPlatformUtils::SetVolumeSerialSource({});
    }

    std::string SeedText(TQMGUID& guid) {
        TQMString text;
        guid.BuildSeedText(text);
        return text.ToString();
    }

    TestClock clock_;
    std::uint32_t serial_ = 0x89ABCDEF;
    std::optional<TSupportLibrary> support_;
};

} // namespace

// Expected digests were computed with sha1sum from the seed texts in the
// comments; R comes from the generator seeded with the clock's seed number.
TEST_F(QMGuid, IdentifiersAreDigestsOfTheSeedText) {
    // "5562.1.-1985229329.2026:3:7.9:5:3:42"
    EXPECT_EQ(TQMTaskSchedulerUtils::NewTaskIdentifier(),
              "96983D114FC1CAA2FFBEA4D22F36BA9D911BF125");
    // "6132.2.-1985229329.2026:3:7.9:5:3:42": the same millisecond, still new
    EXPECT_EQ(TQMTaskSchedulerUtils::NewTaskIdentifier(),
              "873B75C2B9A7061EBC454204117F44AA07668CA2");

    TQMGUID guid;
    guid.Generator.Seed(4711);
    TQMString id;
    guid.NewIdentifier(id);
    // "2011.1.-1985229329.2026:3:7.9:5:3:42"
    EXPECT_EQ(id.ToString(), "94778A4611139F730F9DC3B5CEFB3E0913A3595E");
}

TEST_F(QMGuid, SeedTextPieces) {
    TQMGUID guid;
    guid.Generator.Seed(4711);
    EXPECT_EQ(SeedText(guid), "2011.1.-1985229329.2026:3:7.9:5:3:42");
    serial_ = 7;
    clock_.Set(MakeDateTime(2027, 11, 23, 0, 0, 0, 0));
    EXPECT_EQ(SeedText(guid), "5979.2.7.2027:11:23.0:0:0:0");
    serial_ = 0x80000000;
    EXPECT_EQ(SeedText(guid).find(".3.-2147483648.2027:"), 4u);
}

TEST_F(QMGuid, CounterSkipsZeroWhenItWraps) {
    TQMGUID guid;
    EXPECT_EQ(guid.Counter, 1u);
    guid.Generator.Seed(4711);
    guid.Counter = 0xFFFFFFFF;
    serial_ = 7;
    const std::string text = SeedText(guid);
    EXPECT_EQ(text, "2011.-1.7.2026:3:7.9:5:3:42");
    EXPECT_EQ(guid.Counter, 1u);
    TQMString id;
    guid.HashToHex(TQMString(), id); // warm use of the shared digest object
    TQMString seed;
    seed.Assign(text.c_str());
    guid.HashToHex(seed, id);
    EXPECT_EQ(id.ToString(), "DDE97817C8C4EC99DDC86AE422FF9B5A071F0E39");

    guid.Counter = 0x7FFFFFFF;
    EXPECT_NE(SeedText(guid).find(".2147483647."), std::string::npos);
    EXPECT_NE(SeedText(guid).find(".-2147483648."), std::string::npos);
    EXPECT_EQ(guid.Counter, 0x80000001u);
}

TEST_F(QMGuid, EveryIdentifierIsFortyUpperCaseHexDigits) {
    const std::regex shape("[0-9A-F]{40}");
    std::string previous;
    for (int i = 0; i < 200; ++i) {
        const std::string id = TQMTaskSchedulerUtils::NewTaskIdentifier();
        ASSERT_TRUE(std::regex_match(id, shape)) << id;
        ASSERT_NE(id, previous);
        previous = id;
    }
}

TEST_F(QMGuid, ARestartBeginsTheCounterAgain) {
    TQMTaskSchedulerUtils::NewTaskIdentifier();
    EXPECT_EQ(TSupportLibrary::GUID().Counter, 2u);
    EXPECT_THROW(TSupportLibrary(), Exception); // one at a time
    support_.reset();
    EXPECT_FALSE(TSupportLibrary::Started());
    EXPECT_THROW(TQMTaskSchedulerUtils::NewTaskIdentifier(), Exception);
    support_.emplace();
    EXPECT_EQ(TSupportLibrary::GUID().Counter, 1u);
    // The same clock at start-up: the run repeats its first identifier.
    EXPECT_EQ(TQMTaskSchedulerUtils::NewTaskIdentifier(),
              "96983D114FC1CAA2FFBEA4D22F36BA9D911BF125");
}

TEST(QMPlatformUtils, IsDirectory) {
    TempDir dir;
    testing_support::WriteFile(dir.File("f"), "x");
    TQMString path;
    path.Assign(dir.Path().c_str());
    EXPECT_TRUE(TQMPlatformUtils::IsDirectory(path));
    path.Assign(dir.File("f").c_str());
    EXPECT_FALSE(TQMPlatformUtils::IsDirectory(path));
    path.Assign(dir.File("missing").c_str());
    EXPECT_FALSE(TQMPlatformUtils::IsDirectory(path));
    EXPECT_FALSE(TQMPlatformUtils::IsDirectory(TQMString()));
}

TEST_F(QMGuid, HashToHexIntoItsOwnSeedBuffer) {
    TQMGUID guid;
    TQMString text;
    text.Assign("2011.1.-1985229329.2026:3:7.9:5:3:42");
    guid.HashToHex(text, text);
    EXPECT_EQ(text.ToString(), "94778A4611139F730F9DC3B5CEFB3E0913A3595E");
}
