#include "engine/output.h"

#include "engine/wav_writer.h"

void output_control_init(OutputControl* control, std::int32_t command) {
    *control = {};
    control->command = command;
    if (command == OUTPUT_PLAY) {
        control->mode = Dither;
    }
}

OutputCommand find_output_module(const char* name) {
    if (name == nullptr) {
        return wav_command;
    }
    return nullptr;
}
