#include "QuillmoorMothwake/Comets.h"

namespace quillmoor {

Comets::Comets() : head(0xFFFFFFFF), tail{0xFFFFF4E8, 0xFFF8D0A8, 0xFFE09C6C, 0xFFB0643C, 0xFF70341E} {}
void Comets::step(RNG&, int, int, double) {}
void Comets::draw(Canvas&, double, PixelPredicate) const {}

}  // namespace quillmoor
