#include "assets/catalogue.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "assets/embedded.h"

namespace {

// The first embedded file whose name starts with prefix.
EmbeddedFile FindFile(const std::string& prefix) {
    for (size_t i = 0; i < EMBEDDED_FILE_COUNT; i++) {
        const EmbeddedNamedFile& file = EMBEDDED_FILES[i];
        if (std::string(file.name).starts_with(prefix)) return {file.data, file.size};
    }
    return {nullptr, 0};
}

template <size_t N> bool Contains(const int (&ids)[N], int id) { return std::find(ids, ids + N, id) != ids + N; }

} // namespace

EmbeddedFile SpriteFile(int id) {
    if (!Contains(TEXTURE_SPRITE_IDS, id) && !Contains(PLAIN_SPRITE_IDS, id)) return {nullptr, 0};
    if (id > SPRITE_PLANET_FIRST && id <= SPRITE_PLANET_FIRST + 2) id = SPRITE_PLANET_FIRST;
    return FindFile("sprite_" + std::to_string(id) + "_");
}

EmbeddedFile SoundFile(int id) {
    if (!Contains(SOUND_IDS, id)) return {nullptr, 0};
    return FindFile("sound_" + std::to_string(id) + "_");
}

EmbeddedFile TuneFile() { return FindFile("tune.sid"); }
