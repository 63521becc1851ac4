// Placeholders: conversion of the used line into the engine tables.
#include "input/conversion.h"
namespace vorax {
void vxmatd() {}
} // namespace vorax
