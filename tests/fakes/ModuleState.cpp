// Puts the module's module-wide state back to what a freshly loaded module has.
#include "dns/frame/Plugin.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"

void ResetModuleState() {
    PageLines = LinesLeft = PauseTime = 0;
    PageWaitIdle = nullptr;
    BreakFlag = 0;
    ColorNormal = ColorHighlight = ColorNormalReverse = ColorHighlightReverse = 0;
    ColorContrast = ColorContrastReverse = 0;
}
