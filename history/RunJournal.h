#pragma once

#include "lib/RunRecord.h"

#include <string>
#include <vector>

namespace history {

// Runs kept in a plain file while the database cannot take them: written when
// the program ends with records still waiting, read back at the next start.

// The runs as the journal's bytes.
std::string EncodeJournal(const std::vector<TRunRecord>& runs);
// The runs of a journal's bytes, in order; a cut or damaged part loses only
// the runs from there on.
std::vector<TRunRecord> DecodeJournal(const std::string& bytes);

} // namespace history
