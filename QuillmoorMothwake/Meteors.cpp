#include "QuillmoorMothwake/Meteors.h"

namespace quillmoor {

Meteors::Meteors() : tail{0xFFFFFFFF, 0xFFF0DCD8, 0xFFC0A29C, 0xFF8C6A64, 0xFF5C3E3A} {}
void Meteors::step(RNG&, int, int, double, PixelPredicate) {}
void Meteors::draw(Canvas&, double, PixelPredicate) const {}

}  // namespace quillmoor
