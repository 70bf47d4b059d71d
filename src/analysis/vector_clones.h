#pragma once
// The few hot loops of the analysis are compiled twice on x86, for AVX2 and for the
// baseline, and the loader picks one for the processor it runs on. The arithmetic per
// element is the same in both copies (no contraction, no reassociation), so the results are
// too. Elsewhere (arm64, riscv64, ...), or with TONAMIRA_PORTABLE defined (the portable build
// the tests also run), the attribute is empty and each loop is compiled once, for the
// architecture's baseline.

#if !defined(TONAMIRA_PORTABLE) && (defined(__x86_64__) || defined(__i386__)) && \
    defined(__has_attribute)
#if __has_attribute(target_clones)
#define TONAMIRA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
#endif

#ifndef TONAMIRA_VECTOR_CLONES
#define TONAMIRA_VECTOR_CLONES
#endif
