#include "tarvo/process/timing.hpp"

namespace tarvo::process {

namespace {

Timing current;

} // namespace

const Timing &timing() { return current; }

UseTiming::UseTiming(const Timing &replacement) : previous_(current) { current = replacement; }

UseTiming::~UseTiming() { current = previous_; }

} // namespace tarvo::process
