// Command batches: shell commands joined by ';' and run by one shell call.
#pragma once

#include "concat.h"

#include <initializer_list>
#include <string>
#include <string_view>

// Replaces the first ";;" by ";" and hands the batch to the shell, skipping a
// leading ';'. The shell's status is not looked at. Returns 0.
int run_batch(std::string& batch);

// Hands a batch to the shell as it is, but without a leading ';' (a shell
// refuses a command line that starts with one). An empty batch runs nothing.
void run_batch_text(const std::string& batch);

// Appends a command to a batch: with a leading ';' unless the batch is empty.
void batch_append(std::string& batch, std::string_view command);

// The same for a command made of parts (see concat.h), built in place:
// batch_append(batch, {"uci delete ", key}).
void batch_append(std::string& batch, std::initializer_list<text_part> command_parts);
