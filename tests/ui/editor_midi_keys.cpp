// A MIDI keyboard on a JACK MIDI port: reads "on NOTE" and "off NOTE" lines
// from standard input and sends them on channel 1. Prints "ready" once the
// port exists.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <RtMidi.h>

int main(int argc, char** argv) {
    const std::string client = argc > 1 ? argv[1] : "editorkeys";
    try {
        RtMidiOut out(RtMidi::UNIX_JACK, client);
        out.openVirtualPort("out");
        std::cout << "ready" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::string verb;
            int note = -1;
            words >> verb >> note;
            if (verb == "quit") break;
            if ((verb != "on" && verb != "off") || note < 0 || note > 127) {
                std::cerr << "bad command: " << line << std::endl;
                continue;
            }
            const std::vector<unsigned char> message{
                static_cast<unsigned char>(verb == "on" ? 0x90 : 0x80),
                static_cast<unsigned char>(note), 100};
            out.sendMessage(&message);
            std::cout << "sent " << line << std::endl;
        }
    } catch (const RtMidiError& error) {
        std::cerr << error.getMessage() << std::endl;
        return 1;
    }
    return 0;
}
