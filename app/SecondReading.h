// The second reading of a run that set lines aside: the source once more
// (or the copy of its undecided lines, when it cannot be read again) from the
// first undecided line S on, writing the lines the sifting kept to the target
// and the others to the duplicates file, in source order.
#pragma once

#include <cstdint>

#include "app/LineDecider.h"
#include "textfile/TextFile.h"

// eolStyle: the source's, which both outputs use. Throws when the source
// gives other lines than the first time.
void WriteUndecidedLines(CLineDecider& decider, const CTextFile& source, CTextFile& target, CTextFile* duplicates,
                         uint32_t options, EolStyle eolStyle);
