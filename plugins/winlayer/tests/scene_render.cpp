// scene_render - draws a scene file through the drawing API into a PNG, for the
// comparison with an independent rendering (gdi_pillow_compare.py).
//
// One command per line ('#' starts a comment):
//   size W H | fill L T R B RRGGBB | pen solid|dash|dot|null WIDTH RRGGBB
//   brush RRGGBB|null | rop copy|not|xor|black|white | bkmode opaque|transparent
//   bkcolor RRGGBB | line X0 Y0 X1 Y1 | rect L T R B | bitmap FILE X Y
//   stretch FILE X Y W H SX SY SW SH | tolerance N (for the comparison only)
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "desktop_internal.h"

namespace {

WinColor ParseColour(const std::string& hex) {
    unsigned long rgb = std::stoul(hex, nullptr, 16);
    return WinRgb(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

struct Scene {
    std::string directory;
    WinBitmap* bitmap = nullptr;
    WinDC* dc = nullptr;
    std::vector<WinGdi> objects;
    std::map<std::string, WinBitmap*> pictures;

    ~Scene() {
        Win_DeleteDC(dc);
        Win_DeleteBitmap(bitmap);
        for (WinGdi object : objects) Win_DeleteObject(object);
        for (auto& [name, picture] : pictures) Win_DeleteBitmap(picture);
    }

    WinBitmap* Picture(const std::string& name) {
        auto found = pictures.find(name);
        if (found != pictures.end()) return found->second;
        std::string error;
        WinBitmap* picture = Bitmap_FromPicture(ReadFile(directory + "/" + name), &error);
        if (picture == nullptr) throw std::runtime_error(name + ": " + error);
        pictures[name] = picture;
        return picture;
    }

    void Run(const std::string& command, std::istringstream& args) {
        if (command == "size") {
            int width, height;
            args >> width >> height;
            bitmap = Win_CreateBitmap(width, height);
            dc = Win_CreateBitmapDC(bitmap);
            return;
        }
        if (dc == nullptr) throw std::runtime_error("\"size\" must come first");
        if (command == "fill") {
            WinRect rect;
            std::string colour;
            args >> rect.left >> rect.top >> rect.right >> rect.bottom >> colour;
            Win_FillSolid(dc, rect, ParseColour(colour));
        } else if (command == "pen") {
            std::string style, colour;
            int width;
            args >> style >> width >> colour;
            int kind = style == "dash"   ? PS_DASH
                       : style == "dot"  ? PS_DOT
                       : style == "null" ? PS_NULL
                                         : PS_SOLID;
            objects.push_back(Win_CreatePen(kind, width, ParseColour(colour)));
            Win_SelectObject(dc, objects.back());
        } else if (command == "brush") {
            std::string colour;
            args >> colour;
            if (colour == "null") {
                Win_SelectObject(dc, Win_GetStockObject(NULL_BRUSH));
            } else {
                objects.push_back(Win_CreateSolidBrush(ParseColour(colour)));
                Win_SelectObject(dc, objects.back());
            }
        } else if (command == "rop") {
            std::string mode;
            args >> mode;
            Win_SetROP2(dc, mode == "not"     ? R2_NOT
                            : mode == "xor"   ? R2_XORPEN
                            : mode == "black" ? R2_BLACK
                            : mode == "white" ? R2_WHITE
                                              : R2_COPYPEN);
        } else if (command == "bkmode") {
            std::string mode;
            args >> mode;
            Win_SetBkMode(dc, mode == "opaque" ? OPAQUE : TRANSPARENT);
        } else if (command == "bkcolor") {
            std::string colour;
            args >> colour;
            Win_SetBkColor(dc, ParseColour(colour));
        } else if (command == "line") {
            int x0, y0, x1, y1;
            args >> x0 >> y0 >> x1 >> y1;
            Win_MoveTo(dc, x0, y0);
            Win_LineTo(dc, x1, y1);
        } else if (command == "rect") {
            int left, top, right, bottom;
            args >> left >> top >> right >> bottom;
            Win_Rectangle(dc, left, top, right, bottom);
        } else if (command == "bitmap") {
            std::string name;
            int x, y;
            args >> name >> x >> y;
            Win_DrawBitmap(dc, x, y, Picture(name));
        } else if (command == "stretch") {
            std::string name;
            int x, y, w, h, sx, sy, sw, sh;
            args >> name >> x >> y >> w >> h >> sx >> sy >> sw >> sh;
            Win_StretchBitmap(dc, x, y, w, h, Picture(name), sx, sy, sw, sh);
        } else if (command != "tolerance") {
            throw std::runtime_error("unknown command " + command);
        }
        if (args.fail()) throw std::runtime_error("bad arguments to " + command);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: scene_render SCENE OUT.png\n");
        return 2;
    }
    try {
        Scene scene;
        std::string path = argv[1];
        scene.directory = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
        if (scene.directory.empty()) scene.directory = ".";
        std::istringstream lines(ReadFile(path));
        std::string line;
        while (std::getline(lines, line)) {
            if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
            std::istringstream args(line);
            std::string command;
            if (args >> command) scene.Run(command, args);
        }
        if (scene.bitmap == nullptr || !Win_WritePng(scene.bitmap, argv[2]))
            throw std::runtime_error("no image");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}
