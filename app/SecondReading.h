// The end of a run that set lines aside: the lines set aside are sifted, and
// the source is read once more (or the copy of its undecided lines, when it
// cannot be read again), writing the lines from the first undecided one (S)
// on in source order: those the sifting kept to the target, the others to the
// duplicates file.
#pragma once

#include <cstdint>

#include "app/LineDecider.h"
#include "app/RunProgress.h"
#include "textfile/TextFile.h"

// After the pass over the source. Throws when the source gives other lines
// than the first time; lines added to its end meanwhile are no part of the
// run. progress may be empty.
void FinishSpilledRun(CLineDecider& decider, const CTextFile& source, CTextFile& target, CTextFile* duplicates,
                      uint32_t options, const ProgressCallback& progress);
