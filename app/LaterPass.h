// A pass over the source after the first, to which the decider hands the
// batches it is given: the second reading of a run that set lines aside.
#pragma once

#include "app/LineBatch.h"
#include "app/RunProgress.h"

class CLaterPass {
 public:
  virtual ~CLaterPass() = default;
  virtual void Decide(const CLineBatch& batch) = 0;
  virtual const RunProgress& Done() const = 0;
};
