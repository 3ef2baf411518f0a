// The whole printing road in one library (`kestrel_road`): a queue of model
// A or B set up in the platform root as the spooler keeps it, its stored
// settings changed through the driver, and a document drawn by an
// application on a device context and printed through kestrelui's document
// events, kestrelkm, the spooler stand-in, kestrelum and the language monitor
// kmonant to the queue's port (a file, or a raw TCP port).
//
// Use: RoadOpen once per process (it makes the root and installs the driver
// files), RoadInstallQueue for each queue (again in each process: the
// spooler stand-in keeps its printer table in memory, while the queue's
// printer data and stored settings live in the root's registry and last
// between runs), RoadApplySettings to change the queue's stored settings,
// RoadPrint for each job (from several threads at once too).
//
// Results: a RoadStatus with a message that says what failed and why.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kplatform/gdi32_dc.h"

namespace kestrel::road {

enum class RoadStatus {
  Ok = 0,
  BadSetting,    // a setting name the road does not know, or a value the model does not offer
  Install,       // the root, a driver file, the printer or its port could not be set up
  Settings,      // the queue's stored settings could not be read or written
  Document,      // an application call on the device context failed (or the document asked to stop)
  Job,           // the spooler, kestrelum, the monitor or the port failed the job
  Output,        // the job's bytes could not be read or written to the output file
};

struct RoadResult {
  RoadStatus status = RoadStatus::Ok;
  std::string message;  // empty when Ok
  bool ok() const { return status == RoadStatus::Ok; }
};

enum class RoadModel { A, B };

// The queue: its model, its spooler printer name (empty: the model's
// "Scriva K350" / "Scriva K260") and its port: a file port writes the
// queue's jobs one after another to "<root>/c/kprint/<printer>.prn" (emptied
// at each RoadInstallQueue); a TCP port sends to `tcpHost`:`tcpPort` (IPv4
// dotted form) when tcpPort is not 0.
struct RoadQueue {
  RoadModel model = RoadModel::A;
  std::u16string printer;
  std::u16string portName;  // empty: "KPRINT_<printer>:" or "IP_<host>_<port>:"
  std::string tcpHost;
  uint16_t tcpPort = 0;
};

// One user setting, by the names kprint's options use: "paper" (A3, A4,
// Letter, ...), "orientation" (portrait, landscape), "copies" (1-999),
// "collate" (on, off), "duplex" (off, long, short), "nup" (1, 2, 4, 8, 16,
// 32), "nup-frame" (on, off), "poster" (off, 1x2, 1x3, 1x4, 2x2, 3x3, 4x4),
// "booklet" (on, off), "colour" (auto, colour, mono), "resolution" (600,
// 1200), "staple" (off, top-left, top-right, left-double, top-double,
// right-double), "print-type" (normal, secure, sample, delayed, box),
// "password" (the secure print's, 4-8 digits). RoadSettingNames lists them
// with their values for a model.
struct RoadSetting {
  std::string name;
  std::string value;
};

struct RoadSettingInfo {
  std::string name;
  std::string help;                 // one line
  std::vector<std::string> values;  // the values the model offers (a range is "1-999")
};
std::vector<RoadSettingInfo> RoadSettingNames(RoadModel model);
// Checks settings against the model without touching any queue.
RoadResult RoadCheckSettings(RoadModel model, const std::vector<RoadSetting>& settings);

// One page of a document: what the application draws, said in a line, and
// the drawing itself on the DC inside StartPage ... EndPage (false stops the
// document: it is aborted and RoadPrint answers Document).
struct RoadPageSource {
  std::string what;
  std::function<bool(HDC)> draw;
};
struct RoadDocument {
  std::u16string name;  // the document name (DOCINFOW)
  std::vector<RoadPageSource> pages;
  // When set, the document is printed with settings of its own, as an
  // application changes them for one job: the queue's devmode (as kestrelui
  // hands it out) and printer-data record are passed to it to change by DDM
  // id (ddm_SetValue, ddm_SetNumber), and the DC is made with that devmode
  // (CreateDCW). The queue's stored settings are not changed. False stops
  // the job before it starts (RoadStatus::Document).
  std::function<bool(void* devmode, void* printerData)> settings;
  // When not empty, the job prints the stamp of this name as the queue's
  // stamp store keeps it for the user (zanStamp_GetStampInfo; the store is
  // made from the driver's defaults at its first use): the record's text,
  // size, font, colour, and its font's escapement as the stamp's angle are
  // set in the job's devmode (as with `settings`, before it runs); the
  // transparency is not in the record and stays the document's to choose
  // in `settings`. A name the store lacks stops the job before it starts
  // (RoadStatus::Settings).
  std::u16string stamp;
};
// The built-in sample: a cover page of text in two downloaded TrueType faces
// and a device font; a vector page; a photo page; a page that draws nothing;
// a page left to the driver's stamp and header/footer. The driver decides
// stamps and the header/footer for the whole job (a ResetDC keeps them), so
// the sample asks for them for this job (its `stamp`, "Confidential" as the
// store keeps it, transparent so that the page's own drawing shows through,
// and its `settings`) and every page carries them; the queue's stored
// settings stay as they are.
RoadDocument RoadSampleDocument();

// What a printed job became.
struct RoadPageSummary {
  std::string what;                    // the source page's line (when sheets and pages are one to one)
  std::vector<std::string> calls;      // the drawing calls the DC took for it: the application's, then the
                                       // driver's own (stamp, header/footer) at EndPage
  uint64_t bytes = 0;                  // BeginPage ... EndPage in the port's bytes
  std::vector<std::string> operators;  // the PCL XL operators of that page, in order
};
struct RoadJob {
  RoadResult result;
  std::u16string printer;
  std::string bytes;                 // the job the spooler handed to the port's language monitor (its
                                     // record: KpSpoolerRecordOutput on, the default); on a file port
                                     // these are the file's bytes, a TCP port adds the monitor's
                                     // status request in front
  uint64_t portBytes = 0;            // the spooler's count of those bytes
  std::vector<std::string> pjl;      // the PJL lines of the job, in order
  std::vector<RoadPageSummary> pages;  // one per BeginPage of the stream
  std::string check;                 // the strict checker's findings (job mode); empty when it passed
  std::vector<std::string> printerStatus;  // the printer's status as the monitor parsed it (TCP ports)
  uint32_t spoolerStatus = 0;        // the spooler job's JOB_STATUS_* bits
  uint32_t spoolerError = 0;         // its first output failure (0 none)
};

// Makes `root` (a host folder; made when missing) the platform root and
// installs the driver files there. Once per process; the root stays for it.
RoadResult RoadOpen(const std::string& root);
// Sets the queue up: the model's file pair, the printer, its port with
// kmonant on it, kestrelui's printer initialisation on its first set-up
// (kestrelum named as the user-mode driver, the printer id, the forms).
RoadResult RoadInstallQueue(const RoadQueue& queue);
// The queue's printer name as installed.
std::u16string RoadPrinterName(const RoadQueue& queue);
// Applies settings to the queue's stored settings (they stay in the root):
// the stored devmode is taken through kestrelui (DrvDocumentProperties), the
// values set by DDM id, merged through kestrelui again and stored in the
// spooler's printer record. Nothing is stored when one setting is refused.
RoadResult RoadApplySettings(const RoadQueue& queue, const std::vector<RoadSetting>& settings);
// The queue's stored settings in the road's names and values (for each
// setting RoadSettingNames lists), as kestrelui hands them to applications.
RoadResult RoadReadSettings(const RoadQueue& queue, std::vector<RoadSetting>* settings);
// Prints the document on the queue: CreateDCW ... DeleteDC with the queue's
// stored settings, the DC's document a spooler job. The job's bytes are
// checked with the strict PCL XL checker (job mode) and summarised.
RoadJob RoadPrint(const RoadQueue& queue, const RoadDocument& document);

}  // namespace kestrel::road
