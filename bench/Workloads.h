#pragma once

#include <QStringList>

namespace quillon::bench {

// The measured operations, each run in a process of its own so that its
// time and peak memory are its own. They print "key=value" lines for the
// run to check, and return the process's exit status.
//
//   load INIT TABLE FILE      the file becomes column v of row id = 1, posted
//   save INIT TABLE FILE      column v of row id = 1 becomes the file
//   open INIT STATEMENT       the whole result is opened
//   decode FILE REPEAT        the picture is decoded as the viewer does
//   qt-decode FILE REPEAT     the same file through Qt's own image reader
//   rtf FILE REPEAT           the RTF document is read as the viewer does
int runWorkload(const QStringList &args);

} // namespace quillon::bench
