// Captions and panel clearing, drawn with GDI on a surface's device context.
#include <cstring>

#include "devices/devices.h"
#include "raster/raster.h"

namespace {

int DrawTextInMode(const char* text, int x, int y, COLORREF colour, LPDIRECTDRAWSURFACE7 surface,
                   int backgroundMode) {
  HDC dc;
  if (FAILED(surface->GetDC(&dc))) {
    return 0;
  }
  SetTextColor(dc, colour);
  SetBkColor(dc, 0);
  SetBkMode(dc, backgroundMode);
  TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
  surface->ReleaseDC(dc);
  return 1;
}

}  // namespace

int DrawTextOpaque(const char* text, int x, int y, COLORREF colour, LPDIRECTDRAWSURFACE7 surface) {
  return DrawTextInMode(text, x, y, colour, surface, OPAQUE);
}

int DrawTextTransparent(const char* text, int x, int y, COLORREF colour,
                        LPDIRECTDRAWSURFACE7 surface) {
  return DrawTextInMode(text, x, y, colour, surface, TRANSPARENT);
}

void ClearPanel(int panel) {
  HDC dc;
  if (FAILED(g_primarySurface->GetDC(&dc))) {
    return;
  }
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  HBRUSH brush = CreateSolidBrush(0);
  SetBkColor(dc, 0);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  const RECT* area = panel == PicturePanel   ? &PicturePanelArea
                     : panel == CaptionPanel ? &CaptionPanelArea
                                             : NULL;
  if (area != NULL) {
    Rectangle(dc, area->left, area->top, area->right, area->bottom);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
  g_primarySurface->ReleaseDC(dc);
}
