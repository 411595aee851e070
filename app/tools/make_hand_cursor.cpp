// Writes the hand cursor "HAND-M.CUR": a 32x32 cursor with its hot spot at the tip of the finger.
#include <cstdint>
#include <cstdio>
#include <vector>

static const char* kArt[32] = {
    "          ##                    ",
    "         #..#                   ",
    "         #..#                   ",
    "         #..#                   ",
    "         #..#                   ",
    "         #..###                 ",
    "         #..#..###              ",
    "         #..#..#..##            ",
    "         #..#..#..#.#           ",
    "     ### #..#..#..#..#          ",
    "     #..##.........#.#          ",
    "     #...#...........#          ",
    "      #..............#          ",
    "       #.............#          ",
    "       #.............#          ",
    "        #...........#           ",
    "        #...........#           ",
    "         #.........#            ",
    "         #.........#            ",
    "         ###########            ",
    "", "", "", "", "", "", "", "", "", "", "", ""};

static void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}
static void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_hand_cursor OUT.CUR\n");
    return 2;
  }
  std::vector<uint8_t> image;
  Put32(image, 40);
  Put32(image, 32);
  Put32(image, 64);
  Put16(image, 1);
  Put16(image, 32);
  for (int i = 0; i < 6; ++i) Put32(image, 0);
  for (int y = 31; y >= 0; --y) {
    const char* row = kArt[y];
    bool ended = false;
    for (int x = 0; x < 32; ++x) {
      char c = ended ? ' ' : row[x];
      if (c == '\0') {
        ended = true;
        c = ' ';
      }
      if (c == '#') Put32(image, 0xFF000000);
      else if (c == '.') Put32(image, 0xFFFFFFFF);
      else Put32(image, 0x00000000);
    }
  }
  for (int y = 0; y < 32; ++y) Put32(image, 0);  // AND mask: alpha decides
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 2);
  Put16(file, 1);
  file.push_back(32);
  file.push_back(32);
  file.push_back(0);
  file.push_back(0);
  Put16(file, 10);  // hot spot x
  Put16(file, 1);   // hot spot y
  Put32(file, static_cast<uint32_t>(image.size()));
  Put32(file, 22);
  file.insert(file.end(), image.begin(), image.end());
  FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size()) return 1;
  return std::fclose(f) == 0 ? 0 : 1;
}
