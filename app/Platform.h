// What the driver needs of the platform: the whole-text reading of a named
// document file and the wall clock.
#pragma once

#include <cstdint>
#include <string>

namespace axf::app {

// The whole content of the named file as text: a carriage return directly
// before a line feed is dropped; every other byte is kept. The file is read
// to its end, whatever size it claims; it may be a regular file, a pipe or a
// character device. A file that cannot be opened throws Fatal
// "NAME: cannot open file: REASON"; a directory, any other kind of file or a
// failed read throws Fatal "NAME: cannot read file: REASON".
std::string readDocumentFile(const std::string& name);

// The text without the UTF-8 byte-order mark (EF BB BF) that may open it.
std::string skipByteOrderMark(std::string text);

// Takes each of the standard descriptors 0, 1 and 2 that the process was
// started without with /dev/null opened for reading, so that no file opened
// later lands there: output to a closed stdout then fails as a write error
// instead of going into a document's descriptor.
void holdStandardDescriptors();

// A reading of the wall clock at millisecond resolution.
struct ClockTime {
    std::int64_t seconds = 0;      // whole seconds since the epoch
    std::int64_t picoseconds = 0;  // the milliseconds times 1000000000
};

ClockTime getClockTime();

// "TimeDiff {tdYear = 0, ..., tdSec = S, tdPicosec = P}": the two fields
// are differences taken separately, never balanced against each other.
std::string timeDiffText(const ClockTime& first, const ClockTime& second);

}  // namespace axf::app
