#pragma once
// The recovery-tool conversation's two blocks, exactly as the writer sends them.

#include "sim/vorlix/engine/tool_blocks.h"

namespace vorlix::test {

inline const char* const kSendBlock =
    "declare                       rc number;                     begin                       rc "
    ":= sys.dbms_pipe.create_pipe('vlx$bakx_vss_in');                       "
    "sys.dbms_pipe.pack_message(:cmd);                      rc := "
    "sys.dbms_pipe.send_message('vlx$bakx_vss_in');                    end;";

// The answer reader is the engine's own text; the writer's copy is checked by its own tests.
using vorlix::kReceiveBlock;

}  // namespace vorlix::test
