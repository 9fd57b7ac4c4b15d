// The three pictures for given parameters and pad points, as the window
// draws them: raw 0xffRRGGBB words (shape, waveform, pad) on stdout.
//   picture_dump M N1 N2 N3 A B X1 Y1 X2 Y2 X3 Y3 X4 Y4

#include <cstdio>
#include <cstdlib>

#include "picture/pictures.h"
#include "picture/shape_points.h"

using namespace tessivox;

int main(int argc, char** argv) {
    if (argc != 15) return 2;
    EngineState engine;
    EditorState s;
    for (int row = 0; row < kParamCount; ++row)
        param(engine, static_cast<ParamId>(row)).store(std::strtof(argv[1 + row], nullptr));
    for (int k = 0; k < 4; ++k)
        s.padPoints[k] = {std::strtod(argv[7 + 2 * k], nullptr),
                          std::strtod(argv[8 + 2 * k], nullptr)};
    computeShapePoints(engine, s);
    Canvas shape(kDisplaySize, kDisplaySize), waveform(kWaveformWidth, kDisplaySize),
        pad(kDisplaySize, kDisplaySize);
    drawShape(s, shape);
    drawWaveform(s, waveform);
    drawPad(s, pad);
    for (const Canvas* c : {&shape, &waveform, &pad})
        std::fwrite(c->pixels(), 4, static_cast<size_t>(c->width()) * c->height(), stdout);
    return 0;
}
