#include "QuillmoorMothwake/Sprite.h"

namespace quillmoor {

Sprite::Sprite(double, double, double s) : bits(1, 0), scale(s) {}
void Sprite::ellipse(double, double, double, double) {}
void Sprite::limb(double, double, double, double, double) {}
void Sprite::leg(double, double, double, double, double, double) {}

}  // namespace quillmoor
