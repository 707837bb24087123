#include "platform/CaseFolding.h"

#include "platform/FullCaseFoldingTable.h"

void VisitFullCaseFoldings(const CaseFoldingVisitor& visit) {
  for (size_t i = 0; i < kFullCaseFoldingTableSize; ++i) {
    const FullCaseFoldingEntry& entry = kFullCaseFoldingTable[i];
    visit(entry.character, entry.folded, entry.length);
  }
}
