// The editor's configuration file.
#include "FuzzUtil.h"
#include "QuizEngineCommon.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TKMQuizEngineConfig c;
    if (!c.LoadFromFile(Fuzz::ScratchFile(data, size))) {
        Fuzz::Check(c.AccessPassword.isEmpty() && c.ConfigText.isEmpty() && c.ConfigFlag == 0,
                    "a refused configuration changed the values");
    }
    return 0;
}
