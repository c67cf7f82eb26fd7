#pragma once
// Worker-name templates: counter placeholders "(%d)" and "(%d,N)" that number rig after rig.

#include "config/inputs.h"

#include <string>

// The name written for this flash: every placeholder replaced by its number.
std::string expand_worker_name(const std::string& worker);

// Moves `values.worker` on to the name of the next rig; touches no other member.
void advance_worker_name(inputs& values);

// The template to go on with when `given` is named again while the settings hold `saved`: the
// same template counted further on (the same text, only its numbers higher) goes on from where
// it is, counter by counter, so that naming a template again never names a rig a second time;
// any other template is taken as given.
std::string continued_worker_name(const std::string& given, const std::string& saved);
