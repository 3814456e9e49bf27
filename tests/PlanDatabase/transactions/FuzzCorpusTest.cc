// Replays the corpora of the fuzz targets (seeds, and every input that once
// made a target fail) as ordinary input: the player's hostile inputs end in a
// failed check or play and leave nothing behind; every stream of the
// round-trip corpus that plays is written, replayed and rewound.

#include "PlayerFuzzInput.hh"
#include "RoundTrip.hh"

#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace KADRIX {
  namespace TestModel {
    namespace {

      std::vector<std::string> corpusFiles(const std::string& directory) {
        std::vector<std::string> files;
        if (DIR* dir = opendir(directory.c_str())) {
          while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
              files.push_back(directory + "/" + entry->d_name);
          closedir(dir);
        }
        std::sort(files.begin(), files.end());
        return files;
      }

      std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      }

      TEST(PlayerCorpus, EveryInputEndsInAFailedCheckOrPlaysAndLeavesNothingBehind) {
        const std::vector<std::string> files = corpusFiles(KADRIX_FUZZ_CORPUS);
        ASSERT_LE(20u, files.size());
        fuzz::playHostileInput(""); // the model is declared once, on the first input
        const std::size_t handles = IdTable::size();
        for (const std::string& file : files) {
          SCOPED_TRACE(file);
          EXPECT_NO_THROW(fuzz::playHostileInput(contents(file)));
          EXPECT_EQ(handles, IdTable::size());
        }
      }

      class RoundTripCorpus : public ::testing::TestWithParam<std::string> {};

      TEST_P(RoundTripCorpus, PlaysWritesReplaysAndRewinds) {
        fuzz::roundTrip(""); // the model is declared once, on the first input
        const std::size_t handles = IdTable::size();
        try {
          fuzz::roundTrip(contents(GetParam()));
        } catch (const fuzz::RoundTripFailure& failure) {
          ADD_FAILURE() << failure.what();
        }
        EXPECT_EQ(handles, IdTable::size());
      }

      /** The file's name without its directory and extension, in the characters a test name may hold. */
      std::string testName(const ::testing::TestParamInfo<std::string>& file) {
        std::string name = file.param.substr(file.param.rfind('/') + 1);
        name = name.substr(0, name.rfind('.'));
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
            '_');
        return name;
      }

      INSTANTIATE_TEST_SUITE_P(Streams, RoundTripCorpus,
                               ::testing::ValuesIn(corpusFiles(KADRIX_ROUNDTRIP_CORPUS)), testName);

    }
  }
}
