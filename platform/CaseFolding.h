// Unicode's default full case folding (ICU's u_strFoldCase with
// U_FOLD_CASE_DEFAULT), character by character: from ICU's data on POSIX
// systems; on Windows, which has no such service, from a table made from ICU
// (FullCaseFoldingTable.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Calls visit for every character that folds to something else, with its
// folded form in UTF-8 (at most 12 bytes), in the order of the characters.
using CaseFoldingVisitor = std::function<void(int32_t c, const uint8_t* folded, size_t length)>;
void VisitFullCaseFoldings(const CaseFoldingVisitor& visit);
