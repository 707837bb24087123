// The end of a run whose lines from the first undecided one (S) on are
// written once the whole source has been read: lines were set aside, or only
// the lines that occur once, or more than once, are written. Which are kept
// is settled (the lines set aside are sifted), and the source is read once
// more (or the copy of its undecided lines, when it cannot be read again),
// writing the lines from S on in source order: those kept to the target, the
// others to the duplicates file.
#pragma once

#include <cstdint>

#include "app/LineDecider.h"
#include "app/RunProgress.h"
#include "textfile/TextFile.h"

// After the pass over the source. Throws when the source gives other lines
// than the first time; lines added to its end meanwhile are no part of the
// run. progress may be empty.
void FinishWithSecondReading(CLineDecider& decider, const CTextFile& source, CTextFile& target, CTextFile* duplicates,
                             uint32_t options, const ProgressCallback& progress);
