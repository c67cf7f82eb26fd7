#pragma once
// Worker-name templates: counter placeholders "(%d)" and "(%d,N)" that number rig after rig.

#include "config/inputs.h"

#include <string>

// The name written for this flash: every placeholder replaced by its number.
std::string expand_worker_name(const std::string& worker);

// Moves `values.worker` on to the name of the next rig; touches no other member.
void advance_worker_name(inputs& values);
