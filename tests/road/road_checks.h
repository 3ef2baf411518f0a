// What the road's tests check after a job, whatever the job did: the
// registry and the files below the root as they were (no temporary file or
// record left, the queue's stored settings unchanged), and the bytes a port
// received cut into the parts a printer meets.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "road.h"

namespace kestrel::test {

// A one-page document: a frame, a diagonal and a line of text in a
// downloaded TrueType face (small enough to walk every allocation of its
// job).
kestrel::road::RoadDocument OnePageDocument();
// One page with a line in each face of the platform's font folder that
// documents use, regular then bold: DejaVu Sans, DejaVu Serif, DejaVu Sans
// Mono; plain Latin text, which the printer's own fonts have.
kestrel::road::RoadDocument FacesDocument();
// The resident fonts' PCL XL names (16 bytes: family, blanks, style), the
// only names a device font may be sent under.
const std::vector<std::string>& ResidentFontNames();
// `pages` pages of forty text lines each (the load and benchmark document);
// every line carries the document's name.
kestrel::road::RoadDocument TextDocument(int pages, const std::u16string& name = u"text");

// Every value of HKEY_LOCAL_MACHINE and of the current user's
// HKEY_CURRENT_USER: "HKLM\key\path|value name" -> type (4 bytes) and data;
// a key without values is kept as "HKLM\key\path|" with no data, so that a
// record key (a temporary file's) shows too.
using RegistryDump = std::map<std::u16string, std::string>;
RegistryDump DumpRegistry();

// The keys of temporary-file records (below a "\TempFile\" key) in a dump.
std::vector<std::u16string> TempFileRecords(const RegistryDump& dump);

// The entries of `after` that are not in `before` or differ from it, and
// those of `before` that are gone, one line each ("+ key|value", "- ...",
// "~ ..."), skipping keys that begin with one of `ignored`.
std::vector<std::string> RegistryChanges(const RegistryDump& before, const RegistryDump& after,
                                         const std::vector<std::u16string>& ignored = {});

// The files below a host folder, as paths relative to it.
std::set<std::string> FilesBelow(const std::string& folder);

// The bytes a port received, cut as a printer reads them:
//   monitorBlock  what the language monitor puts in front (its status
//                 requests; empty on a port without status support),
//   ejclHeader    the job's own frame from its UEL to "@PJL ENTER
//                 LANGUAGE=PCLXL" and its line end,
//   streamHeader  the PCL XL stream header line (") HP-PCL XL;...\n"),
//   stream        the binary stream up to the trailer's UEL,
//   trailer       the UEL, the job-information comment, "@PJL EOJ" and the
//                 last UEL, and whatever the monitor puts after them.
// `error` says which part could not be found ("" when all were).
struct PortJob {
  std::string monitorBlock, ejclHeader, streamHeader, stream, trailer;
  std::string error;
};
PortJob SplitPortJob(const std::string& bytes);

// What a job is, without what the clock or a cache puts in it: its PJL lines
// but the header's date and time, and the operators of its stream in order
// but the comments (they carry the renderer's and kestrelum's time stamps,
// and their number follows the time a step took) and the graphics-state
// setters (Set...: kestrelum drops those the printer already has, so a
// refused allocation in its state cache sends one again, which is no
// fault) and PushGS/PopGS (a page the page store could not keep is printed
// as it comes, without the replay's pair). JobShapeDiff answers "" when two jobs have one shape, else their
// first difference.
std::vector<std::string> JobShape(const std::string& bytes);
std::string JobShapeDiff(const std::string& a, const std::string& b);

// The PJL lines of a part ("@PJL ..." without their line ends).
std::vector<std::string> PjlLines(const std::string& part);

// `pages` pages that each paint their whole page (a filled rectangle over
// the DC's HORZRES x VERTRES, no pen, nothing else): where such a page is
// painted on the sheet is where the page lands.
kestrel::road::RoadDocument FramedPagesDocument(int pages);
// `pages` pages told apart by where they paint: page p of n paints the
// p-th of n equal bands down its page, across its whole width (a filled
// rectangle, no pen); together the bands cover the page once. Read back
// with Landing::numbered.
kestrel::road::RoadDocument NumberedPagesDocument(int pages);

// Where a job's logical pages must land, for LandingFaults. Sheet sides are
// taken in the stream's order; each logical page is one section of the
// checker's geometry (one page transform), in the order the side paints
// them.
struct Landing {
  // As the side is read (turned so that its pages stand upright): its
  // printable area cut into columns x rows equal cells, and the cell
  // (column, row; (0, 0) top left) of the side's first, second, ... logical
  // page; no cells: one page a side in the whole area. Every page must lie
  // in its cell and fill it across one axis (a fitted page; within 0.1 %).
  // The reading turn is each page's own: its transform's angle on the
  // sheet as it is fed.
  int columns = 1, rows = 1;
  std::vector<std::pair<int, int>> cells;
  // The scale of every page's transform (within 0.1 %); 0 checks none.
  double scale = 0;
  // A poster: every logical page is printed over posterParts sheet sides,
  // one section each at `scale`, and the parts of the printable area they
  // carry (mapped back onto the page) cover the page's painted box once: no
  // gap, no overlap. The cells are not checked.
  int posterParts = 0;
  // Numbered pages (a job of NumberedPagesDocument(numbered)): each page is
  // told by its band, and the page's whole box (all the bands of the job
  // together, in the page's own coordinates) is what must lie in its cell
  // and fill it. sidePages[i] lists the pages that sheet side i carries,
  // page k in cells[k] (1 is the document's first page; 0 leaves the cell
  // blank), whatever order the side paints them in; a side without pages
  // paints nothing. The job prints as many sides as sidePages has.
  int numbered = 0;
  std::vector<std::vector<int>> sidePages = {};
};
// "" when the job lands as `want` says, else every fault found, a line each,
// with the sheet side and page.
std::string LandingFaults(const std::string& jobBytes, const Landing& want);

}  // namespace kestrel::test
