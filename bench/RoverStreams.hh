#ifndef KADRIX_BENCH_ROVER_STREAMS_HH
#define KADRIX_BENCH_ROVER_STREAMS_HH

// Transaction streams over the rover model (examples/rover), of any size, for
// the replay benchmark and the player's tests.

#include <string>

namespace KADRIX {
  namespace RoverStreams {

    /** The shape of a stream. */
    struct Size {
      int locations; // L locations loc0, loc1, ...
      int rovers; // N rovers rover0, rover1, ...
      int goals; // M drive goals per rover, r<rover>g<goal>
      int every; // every k-th goal is also "before" its predecessor and its speed "eq" the global
    };

    /**
     * The stream: the locations and the rovers (each type then closed), one global
     * int "limit" over [0, 100], then for each rover its goals, each typed by
     * the rover's path, activated, its destination and speed specified,
     * constrained after the previous goal on the rover, and every k-th goal
     * related "before" to that goal with its speed "eq" the limit. Each
     * element stands on its own line.
     */
    inline std::string generate(const Size& size) {
      std::string out;
      out.reserve(static_cast<std::size_t>(size.rovers) * size.goals * 300 +
                  static_cast<std::size_t>(size.locations) * 120);
      for (int l = 0; l < size.locations; ++l)
        out += "<new type=\"Location\" name=\"loc" + std::to_string(l) + "\"><value type=\"int\" name=\"" +
               std::to_string(l) + "\"/><value type=\"int\" name=\"" + std::to_string(2 * l) + "\"/></new>\n";
      out += "<invoke name=\"close\" identifier=\"Location\"/>\n";
      for (int r = 0; r < size.rovers; ++r)
        out += "<new type=\"Rover\" name=\"rover" + std::to_string(r) + "\"/>\n";
      out += "<invoke name=\"close\" identifier=\"Rover\"/>\n";
      out += "<var type=\"int\" name=\"limit\"><interval type=\"int\" min=\"0\" max=\"100\"/></var>\n";
      for (int r = 0; r < size.rovers; ++r) {
        const std::string rover = "rover" + std::to_string(r);
        std::string previous;
        for (int g = 0; g < size.goals; ++g) {
          const std::string goal = "r" + std::to_string(r) + "g" + std::to_string(g);
          out += "<goal><predicateinstance name=\"" + goal + "\" type=\"" + rover + ".drive\"/></goal>\n";
          out += "<activate><token name=\"" + goal + "\"/></activate>\n";
          out += "<specify><id name=\"" + goal + ".to\"/><object value=\"loc" +
                 std::to_string((r + g) % size.locations) + "\"/></specify>\n";
          out += "<specify><id name=\"" + goal + ".speed\"/><value type=\"int\" name=\"5\"/></specify>\n";
          if (!previous.empty())
            out += "<constrain><object name=\"" + rover + "\"/><token name=\"" + previous +
                   "\"/><token name=\"" + goal + "\"/></constrain>\n";
          if (!previous.empty() && size.every > 0 && g % size.every == 0) {
            out += "<goal relation=\"before\" origin=\"" + previous + "\" target=\"" + goal + "\"/>\n";
            out += "<invoke name=\"eq\"><id name=\"" + goal + ".speed\"/><id name=\"limit\"/></invoke>\n";
          }
          previous = goal;
        }
      }
      return out;
    }

    /** The number of elements generate() writes for this size. */
    inline long elementCount(const Size& size) {
      const long related = size.every > 0 ? (size.goals - 1) / size.every : 0;
      return size.locations + 1 + size.rovers + 2 +
             static_cast<long>(size.rovers) * (4L * size.goals + (size.goals - 1) + 2 * related);
    }

  }
}

#endif
