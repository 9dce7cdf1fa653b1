#pragma once

namespace cantorel::heap {

// Lets the C library keep at most `arenas` heaps for all threads, instead of one for
// each thread that ever allocated (up to eight a core). Each heap keeps the memory its
// threads freed, so a reading of a large collection on several threads leaves several
// heaps' worth of free memory behind; fewer heaps let the window's thread use it again.
// Call before any thread starts.
void limitArenas(int arenas);

// Gives the system back the whole pages the heaps hold free, after a large piece of work
// freed what it used: the memory left between blocks still in use is otherwise kept.
void releaseFree();

} // namespace cantorel::heap
