// What every folder shares: the entry of common/. It depends on nothing but
// the standard library and the platform's threads.
//
//   Fatal.h               the two failures of a run: Fatal (a message of the
//                         system, exact text) and InternalError (a state it
//                         cannot reach); only main catches them
//   MessageText.{h,cpp}   input quoted in a message, cut to a short line
//   ByteClass.{h,cpp}     fixed byte classes 0..255 (white space, letters,
//                         digits, case), never the C locale
//   DecimalInteger.h      the reader of decimal integers from user text,
//                         range-checked
//   Lazy.h                a memoising deferred value, for outcomes that depend
//                         on whether a value is ever read
//   LargeStack.{h,cpp}    a function run on a worker with a large stack
//   CheckedSize.h         sizes computed before building, overflow checked
//   PageMemory.{h,cpp}    large long-lived blocks from huge pages where the
//                         kernel gives them, never cleared (the arena, the
//                         indexer's storage)
//   Output.{h,cpp}        the one buffered writer of stdout and the sinks
//                         that printers write to
//
// Including this header brings in all of them.
#pragma once

#include "common/ByteClass.h"
#include "common/CheckedSize.h"
#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "common/Lazy.h"
#include "common/MessageText.h"
#include "common/Output.h"
