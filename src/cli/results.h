#ifndef TONEBAKE_CLI_RESULTS_H
#define TONEBAKE_CLI_RESULTS_H

#include "cli/messages.h"
#include "cli/run_result.h"
#include "wave/wave_header.h"

namespace tonebake {

// The path an error message names.
enum class NamedPath { None, Input, Output, Both };

// What a result means to the user.
struct ResultRow {
  RunResult result;
  const char* utf8;      // the message, with its "%s" placeholders
  const char* shiftJis;  // the same message in code page 932
  NamedPath names;
  HeaderCheck checks[6];  // the header checks that give this result (HeaderOk fills)
};

// The row of `result`; results outside 1..8 share the unknown-error row,
// which names both paths.
const ResultRow& DescribeResult(int result);

// The result a header check's finding gives.
RunResult ResultForHeaderCheck(HeaderCheck check);

// The message of an error result, in the given encoding, with its "%s"
// placeholders still in place.
const char* ErrorMessageTemplate(int result, MessageEncoding encoding);

}  // namespace tonebake

#endif  // TONEBAKE_CLI_RESULTS_H
