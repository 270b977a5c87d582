#pragma once
// Where the entries of a project map stand in its file. The configuration tree keeps no
// positions (a large map's tree must stay small), so plavo-admin reads the file a second time
// and follows the same grammar as the reader, noting lines instead of building nodes.
//
//   projectmap {                 // line 1
//    plavo {
//     projects {
//      handbook(global) {        // line 4: projects[0].line == 4
//      }
//      compiler {                // line 6: projects[1].line == 6
//       type=list
//       alice(default)           // line 8: projects[1].elements == {8, 9}
//       bob
//      }
//
//   MapLines::locate("projectmap.kconf")
//
// The projects come in file order, as the tree's children of plavo.projects do, each with
// the line of its opening brace and the line of the first byte of each of its own list
// elements.
#include <cstdint>
#include <string>
#include <vector>

namespace Kestro {

class MapLines {
 public:
  // One project: the line of its opening brace and where its elements' lines are kept.
  struct Project {
    int64_t line = 0;
    size_t firstElement = 0;  // position in Lines::elements
    size_t elementCount = 0;
  };
  // All projects share one vector of element lines: a large map has 100,000 projects.
  struct Lines {
    std::vector<Project> projects;
    std::vector<int64_t> elements;
  };

  // The lines of the children of plavo.projects. Meant for a file that the reader has just
  // read without error; a file that cannot be opened gives an empty result.
  static Lines locate(const std::string& fileName);
};

}  // namespace Kestro
