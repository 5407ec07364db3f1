// The skin bitmaps are attached to this library as compiled resources.
