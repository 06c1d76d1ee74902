// The test executable's own global operator new and delete: they count the blocks outstanding
// and can fail one chosen allocation, so a test can show that code hit by an allocation failure
// at any point frees everything it built. Only this executable is affected.
#pragma once

namespace failalloc {

// Blocks allocated with operator new and not yet deleted, over the whole process.
long Outstanding();
// Allocations made so far (successful or failed).
long Allocations();
// Makes allocation number n from now (0: the next one) throw std::bad_alloc, once.
void FailAllocation(long n);
// Cancels a failure that has not happened yet; true when the armed failure did happen.
bool Disarm();

}  // namespace failalloc
