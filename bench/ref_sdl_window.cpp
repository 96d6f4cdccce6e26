// The reference for start-up time: a bare SDL program that opens one window
// of the main window's size, paints it, and writes the frame as PNG the way
// `vorra --screenshot` does, then exits.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/ui/Gdi.h"
#include "platform/ui/Png.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ref_sdl_window FILE.png\n");
    return 2;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  constexpr int kWidth = 558, kHeight = 390;
  SDL_Window* window = SDL_CreateWindow("ref", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                                        SDL_WINDOW_BORDERLESS);
  SDL_Surface* surface = window ? SDL_GetWindowSurface(window) : nullptr;
  if (!surface) {
    std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
    return 1;
  }
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0xD4, 0xD0, 0xC8));
  SDL_Rect caption{3, 3, kWidth - 6, 18};
  SDL_FillRect(surface, &caption, SDL_MapRGB(surface->format, 0x0A, 0x24, 0x6A));
  SDL_UpdateWindowSurface(window);

  // The same PNG writer as the program, from a copy of the frame.
  win::BITMAPINFO info{};
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  void* bits = nullptr;
  win::HBITMAP frame = win::CreateDIBSection(nullptr, &info, win::DIB_RGB_COLORS, &bits, nullptr, 0);
  SDL_Surface* copy = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
  bool ok = frame && copy;
  if (ok) {
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(static_cast<char*>(bits) + y * kWidth * 4, static_cast<char*>(copy->pixels) + y * copy->pitch,
                  kWidth * 4);
    ok = win::SavePng(argv[1], frame);
  }
  if (copy) SDL_FreeSurface(copy);
  if (frame) win::DeleteObject(frame);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return ok ? 0 : 1;
}
