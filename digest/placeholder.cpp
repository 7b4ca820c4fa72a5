int urlkeys_placeholder_() { return 0; }
