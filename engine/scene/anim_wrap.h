// Wrapping an animation time into its sequence, shared by SetAnimTime and loop stepping.
// One arithmetic step instead of a loop of subtractions: a huge time costs no more
// than a small one, and an infinite one cannot hang the program.
#pragma once

#include <cmath>

// Brings frame t into first..last by whole sequence lengths, with the result repeated
// "t -= length while t > last, then t += length while t < first" would give: a time
// above the sequence lands in (first, last], one below it in [first, last). A sequence
// of no length (or an inverted one) does not wrap; a time that is not finite, which no
// number of lengths brings back, lands on the first frame.
inline double WrapIntoSequence(double t, int first, int last) {
  const double length = double(last) - double(first);
  if (!(length > 0)) return t;
  if (!std::isfinite(t)) return first;
  if (t > last) {
    const double r = std::fmod(t - first, length);  // exact, in [0, length)
    return r == 0 ? double(last) : first + r;
  }
  if (t < first) {
    const double r = std::fmod(t - first, length);  // exact, in (-length, 0]
    return r == 0 ? double(first) : first + length + r;
  }
  return t;
}
