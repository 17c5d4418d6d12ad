#include "QuillmoorMothwake/Animals.h"

namespace quillmoor {

std::optional<Animals::Species> Animals::species(std::string_view) { return std::nullopt; }
std::vector<Sprite> Animals::makeFrames(Species, double) { return {}; }
Animals::Animals() {}
Animals::Animals(const char*) {}
void Animals::step(RNG&, int, double) {}
void Animals::draw(Canvas&, int, std::span<const int>, double, PixelPredicate) const {}

}  // namespace quillmoor
