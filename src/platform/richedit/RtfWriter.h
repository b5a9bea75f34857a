#pragma once
// The RTF writer (entry points WriteRtf in RichFormat.h).
//
// It writes what a rich edit control writes, from the document model of RichFormat.h:
//  {\rtf1\ansi\ansicpg1251\deff0{\fonttbl ...}{\colortbl ;...}\uc1 \pard ... \par ... }
//  - one font table entry per face and charset, \f0 the first one used;
//  - a colour table starting with the "auto" entry (\cf0);
//  - ASCII text as is (with \\ \{ \} escaped), other characters as \uN followed by the byte of
//    the run's charset code page, or "?" when that code page has no such character;
//  - every paragraph ends with \par, its properties written after \pard when they change;
//  - bullets and numbering in the rich edit's \pn form with a \pntext of the number;
//  - pictures as \pict with their original kind and bytes in hex (PNG for pictures made from an
//    image), with \picw, \pich and the goal sizes; objects as the bytes they were read from.
// The output depends on the document only, so an unedited note saves byte-identical each time.
#include "platform/richedit/RichFormat.h"
