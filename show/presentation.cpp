// The presentation: eight fixed screens, each held until the user clicks the
// continue button. Portraits, the palette trick, the stat icons, the battle
// map in four seasons, pieces with a blinking turn marker, and a closing.
#include <cstdio>
#include <cstring>

#include "shell/shell.h"
#include "devices/devices.h"
#include "map/map.h"
#include "raster/raster.h"
#include "show/show.h"

int g_holdsReached = 0;

namespace {

const COLORREF White = 0xffffff;
const COLORREF Red = 255;

const DWORD CaptionPauseMs = 2000;
const DWORD BlinkPauseMs = 500;
// What ends a pause's sleep early: keys (Escape, Alt+F4) and the window's
// messages. The mouse counts in the waits only: its messages may wait for the
// pause to end, and the click that ended a wait does not cut into its pause.
const DWORD PauseWakeMask =
    QS_KEY | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE;

// The script's own copy of the map layout, taken at the opening.
int g_mapLayout[CellTableSize];

// A redraw plays the script again from the opening with no time passing,
// up to the hold where the live run stands (g_holdsReached), and stops there.
// A jump to another screen (g_jumpScreen, see JumpToScreen) replays up to
// that screen's wait and goes on live from there.
int g_replaying = 0;
int g_replayHolds = 0;
int g_jumpScreen = 0;

// At a hold of the replay: 1 while the replay has not yet come to where the
// live run stands, 0 when it stops here.
int ReplayGoesOn() {
  g_replayHolds++;
  return g_jumpScreen != 0 || g_replayHolds < g_holdsReached;
}

// At a wait of a jump's replay: 1 when it is the wait of the screen jumped
// to, where the replay ends and the run goes on live, with the palette the
// script left.
int JumpArrives() {
  if (!g_replaying || g_screenNumber != g_jumpScreen) {
    return 0;
  }
  g_replaying = 0;
  g_jumpScreen = 0;
  g_holdsReached = g_replayHolds;
  LoadPaletteEntries();
  return 1;
}

// A pause of the script (see PassPause). A display lost meanwhile and back
// again is drawn again once it is over. Returns 0 when the script stops at
// this point: the end of a replay, or the program closing.
int Pause(DWORD ms) {
  if (g_replaying) {
    return ReplayGoesOn();
  }
  g_holdsReached++;
  if (!PassPause(ms)) {
    return 0;
  }
  NoteSheetChanges();
  KeepScreenShown();
  return 1;
}

// The title and the continue button stand outside both panels; a flip brings
// up the other surface of the pair, which need not hold them.
void DrawTitle() { DrawTextOpaque("Image Display", 260, 20, White, g_primarySurface); }

void DrawButton() { DrawContinueButton(0, ContinueButtonX, ContinueButtonY); }

void DrawCaption(const char* text, int y) { DrawTextOpaque(text, 50, y, White, g_primarySurface); }

// Names the screen about to be drawn ("Screen 2 of 8: palette") to a
// debugger, and to screen readers on the web page, which reads the
// program's debug output.
void NameScreen(const char* name) {
  char line[64];
  std::snprintf(line, sizeof line, "Screen %d of 8: %s", g_screenNumber + 1, name);
  OutputDebugStringA(line);
}

// Holds the screen until a click. Returns 0 when the wait ended because the
// program is closing (Escape or the window's close button): the presentation
// then stops there; and at the end of a replay.
int HoldScreen() {
  g_screenNumber++;
  if (g_replaying && !JumpArrives()) {
    return ReplayGoesOn();
  }
  g_holdsReached++;
  WaitForContinueClick();
  if (g_waitEndedByQuit) {
    return 0;
  }
  if (g_screenWanted != 0) {
    ShowCursor(FALSE);  // as the screen's clearing would
    return 0;
  }
  KeepScreenShown();
  return 1;
}

// Wipes the picture and caption panels and hides the cursor again (the wait
// showed it; a replay leaves the cursor alone).
void ClearScreen() {
  ClearPanel(PicturePanel);
  ClearPanel(CaptionPanel);
  if (!g_replaying) {
    ShowCursor(FALSE);
  }
}

void SetPaletteColour(unsigned int index, BYTE red, BYTE green, BYTE blue) {
  PALETTEENTRY entry;
  entry.peRed = red;
  entry.peGreen = green;
  entry.peBlue = blue;
  entry.peFlags = PC_NOCOLLAPSE;
  if (g_replaying) {
    // The colour shows once the redraw is complete, so that a redraw does not
    // flash every change the screen went through.
    g_paletteEntries[index] = entry;
    return;
  }
  SetPaletteEntry(index, &entry);
}

void ShowPortraitGallery() {
  DrawTitle();
  DrawPortrait(0, 40, 50);
  DrawPortrait(1, 160, 50);
  DrawPortrait(3, 280, 50);
  DrawPortrait(5, 400, 50);
  DrawPortrait(6, 520, 50);
  DrawTextOpaque("Valiant", 60, 120, White, g_primarySurface);
  DrawTextOpaque("Angel", 185, 120, White, g_primarySurface);
  DrawTextOpaque("Merlin", 300, 120, White, g_primarySurface);
  DrawTextOpaque("Death Watch", 400, 120, White, g_primarySurface);
  DrawTextOpaque("Golden Sun", 525, 120, White, g_primarySurface);
  DrawPortrait(7, 40, 140);
  DrawPortrait(8, 160, 140);
  DrawPortrait(9, 280, 140);
  DrawPortrait(10, 400, 140);
  DrawPortrait(12, 520, 140);
  DrawTextOpaque("The Slasher", 40, 210, White, g_primarySurface);
  DrawTextOpaque("Marauder", 170, 210, White, g_primarySurface);
  DrawTextOpaque("Fast Rider", 285, 210, White, g_primarySurface);
  DrawTextOpaque("Dragon of Zil", 395, 210, White, g_primarySurface);
  DrawTextOpaque("Chain Lightening", 510, 210, White, g_primarySurface);
  DrawPortrait(15, 40, 230);
  DrawPortrait(16, 160, 230);
  DrawPortrait(17, 280, 230);
  DrawPortrait(18, 400, 230);
  DrawPortrait(19, 520, 230);
  DrawTextOpaque("Widow Maker", 40, 300, White, g_primarySurface);
  DrawTextOpaque("The Rat", 175, 300, White, g_primarySurface);
  DrawTextOpaque("Shield of Wan", 275, 300, White, g_primarySurface);
  DrawTextOpaque("Night Stalker", 395, 300, White, g_primarySurface);
  DrawTextOpaque("Hedgehog", 530, 300, White, g_primarySurface);
  DrawCaption("Some sample portraits of my game participants.", 380);
  DrawCaption("These are all binary images - even the button.", 410);
  DrawButton();
}

// Palette entry 4 turns blue, then green, then red again: every pixel of that
// index changes colour at once without being drawn again.
int ShowPaletteChange() {
  DrawPortrait(4, 270, 60);
  DrawTextOpaque("Red Sun", 285, 130, Red, g_primarySurface);
  if (!Pause(CaptionPauseMs)) {
    return 0;
  }
  SetPaletteColour(4, 0, 0, 255);
  DrawCaption("Change a palette entry and he's Blue Sun", 380);
  if (!Pause(CaptionPauseMs)) {
    return 0;
  }
  SetPaletteColour(4, 0, 255, 0);
  DrawCaption("or Green Sun", 400);
  if (!Pause(CaptionPauseMs)) {
    return 0;
  }
  SetPaletteColour(4, 255, 0, 0);
  DrawCaption("Back to normal.", 420);
  DrawButton();
  return 1;
}

// The icons go into the back buffer, which is then flipped to the front.
void ShowStatIcons() {
  if (SUCCEEDED(g_backSurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) {
    DrawStatIcons();
    g_backSurface->Unlock(NULL);
    FlipToFront();
  }
  DrawTitle();
  DrawButton();
  DrawTextOpaque("Gold", 140, 119, White, g_primarySurface);
  DrawTextOpaque("Food", 140, 155, White, g_primarySurface);
  DrawTextOpaque("Metal", 140, 190, White, g_primarySurface);
  DrawTextOpaque("Furs", 140, 226, White, g_primarySurface);
  DrawTextOpaque("Rate", 140, 263, White, g_primarySurface);
  DrawTextOpaque("Heroes", 280, 119, White, g_primarySurface);
  DrawTextOpaque("Men", 280, 155, White, g_primarySurface);
  DrawTextOpaque("Arms", 280, 190, White, g_primarySurface);
  DrawTextOpaque("Skill", 280, 226, White, g_primarySurface);
  DrawTextOpaque("People", 280, 263, White, g_primarySurface);
  DrawTextOpaque("Castles", 418, 119, White, g_primarySurface);
  DrawTextOpaque("Support", 418, 155, White, g_primarySurface);
  DrawTextOpaque("Flood", 418, 190, White, g_primarySurface);
  DrawTextOpaque("Farm", 418, 226, White, g_primarySurface);
  DrawTextOpaque("Wealth", 418, 263, White, g_primarySurface);
  DrawCaption("Images for game stats.", 380);
}

// A season map: drawn into the back buffer and flipped, then the title and
// the button again on the surface that now shows the map.
void ShowSeasonMap(const int* layout, int season) {
  DrawBattleMap(layout, season);
  DrawTitle();
  DrawButton();
}

// Places a piece and writes its number beside it, over the piece.
void PlaceNumberedPiece(int image, int cell, const char* number) {
  PlaceAtCell(image, cell, PlacePiece);
  DrawTextTransparent(number, g_labelX, g_labelY, White, g_primarySurface);
}

int ShowPiecesAndTurnMarker(const int* layout) {
  ShowSeasonMap(layout, Spring);
  DrawCaption("Spring version", 380);
  if (!Pause(CaptionPauseMs)) {
    return 0;
  }
  DrawCaption("Add some men", 400);
  PlaceNumberedPiece(3, 39, "100");
  PlaceNumberedPiece(0, 32, "94");
  PlaceNumberedPiece(0, 53, "61");
  PlaceNumberedPiece(4, 60, "98");
  PlaceNumberedPiece(2, 67, "55");
  PlaceNumberedPiece(1, 54, "100");
  DrawCaption("Whose turn is it?", 420);
  if (!Pause(CaptionPauseMs)) {
    return 0;
  }

  // The turn marker blinks: bright border, dark border, bright, dark, and
  // at once bright again.
  PlaceAtCell(1, 54, PlaceBorder);
  if (!Pause(BlinkPauseMs)) {
    return 0;
  }
  PlaceAtCell(0, 54, PlaceBorder);
  if (!Pause(BlinkPauseMs)) {
    return 0;
  }
  PlaceAtCell(1, 54, PlaceBorder);
  if (!Pause(BlinkPauseMs)) {
    return 0;
  }
  PlaceAtCell(0, 54, PlaceBorder);
  PlaceAtCell(1, 54, PlaceBorder);
  return 1;
}

// The eight screens, from the first drawing to the last wait. Played live
// once, and again without pauses by each redraw, up to where the live run
// stands. Stops early when a wait ends by the program closing.
void PlayScreens() {
  g_screenNumber = 0;
  NameScreen("portraits");
  ShowPortraitGallery();
  if (!HoldScreen()) {
    return;
  }
  ClearScreen();

  NameScreen("palette");
  if (!ShowPaletteChange() || !HoldScreen()) {
    return;
  }
  ClearScreen();

  NameScreen("game stats");
  ShowStatIcons();
  if (!HoldScreen()) {
    return;
  }
  ClearScreen();

  NameScreen("summer map");
  ShowSeasonMap(g_mapLayout, Summer);
  DrawCaption("Part of a battle map made with tiles created", 380);
  DrawCaption("with the binary image drawing program.", 400);
  DrawCaption("Summer version", 420);
  if (!HoldScreen()) {
    return;
  }
  ClearScreen();

  NameScreen("fall map");
  ShowSeasonMap(g_mapLayout, Fall);
  DrawCaption("Fall version", 380);
  if (!HoldScreen()) {
    return;
  }
  ClearScreen();

  NameScreen("winter map");
  ShowSeasonMap(g_mapLayout, Winter);
  DrawCaption("Winter version", 380);
  if (!HoldScreen()) {
    return;
  }
  ClearScreen();

  NameScreen("spring map with pieces");
  if (!ShowPiecesAndTurnMarker(g_mapLayout) || !HoldScreen()) {
    return;
  }
  ClearScreen();

  // The closing screen keeps the title and the button of the map screen.
  NameScreen("closing");
  DrawCaption("That's it folks.", 380);
  DrawCaption("Thanks for watching.", 400);
  HoldScreen();
}

// Draws the screen again as the live run left it: both surfaces and the
// palette back as set up (text takes its colours from the palette in force),
// then the script replayed without its pauses, and last the palette as the
// script left it.
void RedrawScreen() {
  if (g_holdsReached == 0 || g_replaying) {
    return;  // nothing drawn yet (or already redrawing)
  }
  ForgetOverlaysDrawn();  // drawn again over the new picture by the wait
  FillSurface(g_primarySurface, 0);
  FillSurface(g_backSurface, 0);
  ResetPalette();
  g_replaying = 1;
  g_replayHolds = 0;
  PlayScreens();
  g_replaying = 0;
  LoadPaletteEntries();
}

// Goes to screen `screen`'s wait (going back, Home, --screen, the loop): the
// screen is drawn from black surfaces and the set-up palette by the replay,
// without pauses, and the run goes on live from its wait.
void JumpToScreen(int screen) {
  FillSurface(g_primarySurface, 0);
  FillSurface(g_backSurface, 0);
  ResetPalette();
  g_replaying = 1;
  g_replayHolds = 0;
  g_jumpScreen = screen;
  PlayScreens();
}

}  // namespace

int PassPause(DWORD ms) {
  const DWORD startMs = GetTickCount();
  if (RecordingOn() && !DisplayLost()) {
    PutRecordingMarkOn();
    RecordShownPicture(0);
  }
  for (;;) {
    const DWORD passed = GetTickCount() - startMs;
    if (passed >= ms) {
      TakeRecordingMarkOff();  // before the script draws on
      return 1;
    }
    if (MsgWaitForMultipleObjects(0, NULL, FALSE, ms - passed, PauseWakeMask) == WAIT_TIMEOUT) {
      continue;
    }
    // As in a wait, Escape counts only while the display is the program's.
    if (!DisplayLost()) {
      PollEscape();
    }
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        g_waitEndedByQuit = 1;
        return 0;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

int KeepScreenShown() {
  if (DisplayLost()) {
    if (!RestoreDisplay()) {
      return 0;
    }
    g_screenNeedsRedraw = 1;
  }
  if (g_screenNeedsRedraw) {
    g_screenNeedsRedraw = 0;
    RedrawScreen();
  }
  return 1;
}

int RunPresentation() {
  std::memcpy(g_mapLayout, BattleMapLayout, sizeof(g_mapLayout));
  g_holdsReached = 0;

  PumpPendingMessages();
  if (g_quitRequested) {
    return 1;  // Escape was already down: the window is closing
  }
  ShowCursor(FALSE);
  ResetOverlays();
  ResetSlideshow();
  StartWatchingSheets();
  // Nothing is drawn yet: a paint asked for until now needs no redraw.
  g_screenNeedsRedraw = 0;

  if (g_startScreen > 1) {
    JumpToScreen(g_startScreen);
  } else {
    PlayScreens();
  }
  // A key asked for another screen, or the loop starts again.
  for (;;) {
    if (g_screenWanted == 0 && g_loopShow && !g_waitEndedByQuit) {
      ShowCursor(FALSE);  // the last wait left it shown
      g_screenWanted = 1;
    }
    if (g_screenWanted == 0 || g_waitEndedByQuit) {
      break;
    }
    const int screen = g_screenWanted;
    g_screenWanted = 0;
    JumpToScreen(screen);
  }
  StopWatchingSheets();
  StopRecording();
  g_holdsReached = 0;
  return 1;
}
