// Replays the seed corpus of the player's fuzz target (and every input that
// once made it fail) as ordinary input.

#include "PlayerFuzzInput.hh"

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

      std::vector<std::string> corpusFiles() {
        std::vector<std::string> files;
        if (DIR* dir = opendir(KADRIX_FUZZ_CORPUS)) {
          while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
              files.push_back(std::string(KADRIX_FUZZ_CORPUS) + "/" + entry->d_name);
          closedir(dir);
        }
        std::sort(files.begin(), files.end());
        return files;
      }

      TEST(PlayerCorpus, EveryInputEndsInAFailedCheckOrPlaysAndLeavesNothingBehind) {
        const std::vector<std::string> files = corpusFiles();
        ASSERT_LE(20u, files.size());
        fuzz::playHostileInput(""); // the model is declared once, on the first input
        const std::size_t handles = IdTable::size();
        for (const std::string& file : files) {
          SCOPED_TRACE(file);
          std::ifstream in(file, std::ios::binary);
          const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
          EXPECT_NO_THROW(fuzz::playHostileInput(text));
          EXPECT_EQ(handles, IdTable::size());
        }
      }

    }
  }
}
