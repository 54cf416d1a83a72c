#pragma once

// Drops the user's mouse, keyboard, wheel, touch and tablet input that the window system has
// queued, and delivers everything else that is pending.
void DiscardPendingInput();
