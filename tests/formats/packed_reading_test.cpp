// A session file's reading packed in one process and taken up in another: sessions of every shape
// come back field for field, failures come back as what was thrown, and damaged bytes are refused.
#include "formats/packed_reading.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "formats/session_reading.hpp"
#include "parser/parse_error.hpp"
#include "session_generator.hpp"
#include "support/files.hpp"
#include "support/same_session.hpp"

namespace zaro::formats {
namespace {

std::vector<std::filesystem::path> sessionFiles(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    SessionGenerator::Options options;
    options.maxBytes = 200'000;
    for (const auto shape : {SessionGenerator::Shape::zaroCsv, SessionGenerator::Shape::raceBoxCsv,
                             SessionGenerator::Shape::plainTrack}) {
        options.shape = shape;
        files.push_back(folder / ("shape-" + std::to_string(static_cast<int>(shape)) + ".csv"));
        support::writeFile(files.back(), SessionGenerator::generate(options));
    }
    for (const auto& entry : std::filesystem::directory_iterator(support::examples)) {
        files.push_back(entry.path());
    }
    return files;
}

TEST(PackedReading, SessionsOfEveryShapeComeBackFieldForField)
{
    const support::TemporaryFolder folder;
    int sessions = 0;
    for (const std::filesystem::path& file : sessionFiles(folder.path())) {
        ZaroSession read;
        try {
            read = readSessionFile(file);
        } catch (const ParseError&) {
            continue;  // a failure, which the next test takes
        }
        ++sessions;
        EXPECT_EQ(support::exactText(unpackSessionReading(packedSessionReading(file))), support::exactText(read))
            << file;
    }
    EXPECT_GE(sessions, 8);
}

TEST(PackedReading, OnlyThePartTheReaderKeepsIsPacked)
{
    const std::filesystem::path file = support::examples / "Sunday practice.csv";
    ZaroSession expected = readSessionFile(file);
    ASSERT_FALSE(expected.laps.empty());
    expected.laps.resize(1);
    const std::string packed = packedSessionReading(file, [](ZaroSession session) {
        session.laps.resize(1);
        return session;
    });
    EXPECT_EQ(support::exactText(unpackSessionReading(packed)), support::exactText(expected));
    EXPECT_LT(packed.size(), packedSessionReading(file).size());
}

TEST(PackedReading, FailuresComeBackAsWhatWasThrown)
{
    const support::TemporaryFolder folder;
    const auto thrown = [](const std::filesystem::path& path) -> std::exception_ptr {
        try {
            readSessionFile(path);
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    };
    support::writeFile(folder.path() / "notes.csv", "Shopping,List\nEggs,6\n");
    support::writeFile(folder.path() / "columns.csv", "Format,ZARO CSV\nTime,Speed\n2024-06-01T10:15:00Z,3\n");
    support::writeFile(folder.path() / "empty.csv", "");
    for (const auto& name : {"notes.csv", "columns.csv", "empty.csv"}) {
        const std::filesystem::path path = folder.path() / name;
        ASSERT_TRUE(thrown(path)) << name;
        try {
            std::rethrow_exception(thrown(path));
        } catch (const ParseError& expected) {
            try {
                unpackSessionReading(packedSessionReading(path));
                ADD_FAILURE() << name << " came back as a session";
            } catch (const ParseError& error) {
                EXPECT_EQ(error, expected) << name;
                EXPECT_STREQ(error.what(), expected.what());
            }
        }
    }
    for (const std::filesystem::path& path : {folder.path() / "missing.csv", folder.path()}) {
        ASSERT_TRUE(thrown(path)) << path;
        try {
            std::rethrow_exception(thrown(path));
        } catch (const std::system_error& expected) {
            try {
                unpackSessionReading(packedSessionReading(path));
                ADD_FAILURE() << path << " came back as a session";
            } catch (const std::system_error& error) {
                EXPECT_EQ(error.code(), expected.code()) << path;
                EXPECT_STREQ(error.what(), expected.what());
            }
        }
    }
}

TEST(PackedReading, DamagedBytesAreRefusedAndNothingInThemIsTrusted)
{
    const std::string packed = packedSessionReading(support::examples / "Sunday practice.csv");
    const auto refused = [](std::string_view bytes) {
        try {
            unpackSessionReading(bytes);
        } catch (const std::runtime_error& error) {
            return std::string(error.what()) == "The file's reading came back damaged.";
        }
        return false;
    };
    // Cut anywhere, or with a byte too many.
    for (std::size_t size = 0; size < packed.size(); ++size) ASSERT_TRUE(refused(packed.substr(0, size))) << size;
    EXPECT_TRUE(refused(packed + '\0'));
    // A count of eight bytes that claims more than follows, in the place of the first text's length.
    std::string claims = packed;
    claims.replace(1, 8, std::string(8, '\xff'));
    EXPECT_TRUE(refused(claims));
    EXPECT_TRUE(refused("X"));
    // Bytes changed at random give a session, a failure or the refusal; never anything worse.
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string changed = packed;
        for (int i = 0; i < 4; ++i) changed[random() % changed.size()] = static_cast<char>(random());
        try {
            unpackSessionReading(changed);
        } catch (const std::runtime_error&) {  // the refusal, a system error or another failure
        } catch (const ParseError&) {
        } catch (const std::bad_alloc&) {
        }
    }
}

}  // namespace
}  // namespace zaro::formats
