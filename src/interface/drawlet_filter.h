/*
 * The filter interface of Drawlet.auf: the records a host and the module exchange.
 *
 * A host loads the module, calls GetFilterTable() and keeps the registration record it
 * returns. It fills the words marked "host fills" and then calls the callbacks one at a time,
 * never concurrently: the module keeps module-wide state.
 *
 * Every record is a sequence of 32-bit words on a 32-bit build; the members below stand in
 * that word order, integer words as int and address words as pointers. A 64-bit build keeps
 * the same member order (pointers are then 8 bytes).
 *
 * All strings the module hands out (names, messages) are code page 932 byte strings.
 *
 * This header is plain C so that a host written in C can include it.
 */
#ifndef DRAWLET_FILTER_H
#define DRAWLET_FILTER_H

#ifdef __cplusplus
extern "C" {
#endif

/* One host pixel: luma 0 (black) .. 4096 (white), chroma -2048 .. 2048. */
typedef struct DrawletPixelYC {
    short y;
    short cb;
    short cr;
} DrawletPixelYC;

/*
 * Where each pixel samples the hatching (host-owned, optional): canvas x and y, as floats, of
 * pixel (i, j) at x[j * stride + i] and y[j * stride + i]. stride is in floats between row
 * starts. width and height must equal the frame's, stride must be at least width, and every
 * value must be finite and within [0, width] x [0, height]; otherwise the module ignores the
 * record and samples at each pixel's own position, as it does without one. A host that
 * carries these positions along the picture's motion keeps the hatching on the picture.
 */
typedef struct DrawletPatternCoordinates {
    const float* x;
    const float* y;
    int width;
    int height;
    int stride;
} DrawletPatternCoordinates;

/* Flag of the frame request's word 0: word 18 points to a DrawletPatternCoordinates. */
#define DRAWLET_REQUEST_PATTERN_COORDINATES 0x00100000

/* One processing request (host-owned). Only the words with a name are read by the module;
 * words past 15 only when a flag of word 0 says so, so a host that sets flags 0 may end the
 * record at word 15. */
typedef struct DrawletFrameRequest {
    int flags;             /* 0 */
    DrawletPixelYC* frame; /* 1 frame buffer, rewritten in place */
    void* temporaryFrame;  /* 2 */
    int width;             /* 3 */
    int height;            /* 4 */
    int rowStride;         /* 5 row stride in pixels (the host's maximum width) */
    int maxHeight;         /* 6 */
    int frameNumber;       /* 7 0-based */
    int frameCount;        /* 8 */
    int reserved9[6];      /* 9 .. 14 */
    void* editHandle;      /* 15 opaque, passed to the saving query */
    int reserved16[2];     /* 16, 17 */
    /* 18 read only when flags has DRAWLET_REQUEST_PATTERN_COORDINATES */
    const DrawletPatternCoordinates* patternCoordinates;
} DrawletFrameRequest;

struct DrawletRegistration;

typedef int (*DrawletProcessFn)(struct DrawletRegistration* reg, DrawletFrameRequest* request);
typedef int (*DrawletExitFn)(struct DrawletRegistration* reg);
typedef int (*DrawletUpdateFn)(struct DrawletRegistration* reg, int status);
typedef int (*DrawletWindowProcFn)(void* window, unsigned int message, void* wparam, void* lparam,
                                   void* editHandle, struct DrawletRegistration* reg);

/* The host-services table (host-owned), reached through word 24 of the registration record.
 * Only entries 5 and 21 are called by the module; the others may be null. */
typedef struct DrawletHostServices {
    void* reserved0[5];                                   /* 0 .. 4 */
    int (*isSaving)(void* editHandle);                    /* 5 non-zero while writing output */
    void* reserved6[15];                                  /* 6 .. 20 */
    int (*updateWindow)(struct DrawletRegistration* reg); /* 21 redraw the settings window */
} DrawletHostServices;

/*
 * The settings window on POSIX hosts. There is no Win32 window there, so word 25 of the
 * registration record points to this host-owned struct instead of a window handle:
 *   setTitle   shows the given title (the module writes "Morvane time:%d" after a frame);
 *   messageBox shows a modal message with an OK button and returns the button pressed
 *              (1 for OK); it may block the calling thread until it is dismissed.
 * Both receive `context` as their first argument. Either pointer may be null: the call is
 * then skipped. Text and caption are code page 932 byte strings.
 * On Windows word 25 is the settings window's HWND.
 */
typedef struct DrawletSettingsWindow {
    void* context;
    void (*setTitle)(void* context, const char* title);
    int (*messageBox)(void* context, const char* text, const char* caption);
} DrawletSettingsWindow;

/* The registration record (module-owned, static), 35 words. */
typedef struct DrawletRegistration {
    int flags;                      /* 0  */
    int windowX;                    /* 1  */
    int windowY;                    /* 2  */
    const char* name;               /* 3  display name */
    int trackCount;                 /* 4  */
    const char* const* trackNames;  /* 5  */
    const int* trackDefaults;       /* 6  */
    const int* trackMinimums;       /* 7  */
    const int* trackMaximums;       /* 8  */
    int checkCount;                 /* 9  */
    const char* const* checkNames;  /* 10 */
    const int* checkDefaults;       /* 11 */
    DrawletProcessFn process;       /* 12 */
    void* init;                     /* 13 (none) */
    DrawletExitFn exit;             /* 14 */
    DrawletUpdateFn update;         /* 15 */
    DrawletWindowProcFn windowProc; /* 16 */
    int* trackValues;               /* 17 host fills: current slider values */
    int* checkValues;               /* 18 host fills: current check-box states */
    void* extraData;                /* 19 */
    int extraDataSize;              /* 20 */
    const char* information;        /* 21 information string */
    void* reserved22[2];            /* 22, 23 */
    DrawletHostServices* services;  /* 24 host fills */
    void* settingsWindow;           /* 25 host fills: HWND, or DrawletSettingsWindow* on POSIX */
    void* reserved26[9];            /* 26 .. 34 */
} DrawletRegistration;

#if defined(__cplusplus)
static_assert(sizeof(void*) != 4 || sizeof(DrawletRegistration) == 35 * 4,
              "the registration record is 35 words");
static_assert(sizeof(void*) != 4 || sizeof(DrawletFrameRequest) == 19 * 4,
              "the frame request's named words end at word 18");
#else
_Static_assert(sizeof(void*) != 4 || sizeof(DrawletRegistration) == 35 * 4,
               "the registration record is 35 words");
_Static_assert(sizeof(void*) != 4 || sizeof(DrawletFrameRequest) == 19 * 4,
               "the frame request's named words end at word 18");
#endif

/* Flags of word 0: the information string is present; the window procedure receives the
 * host's main-window messages. */
#define DRAWLET_REGISTRATION_FLAGS 0x40040000

#if defined(_WIN32)
#define DRAWLET_EXPORT __declspec(dllexport)
#else
#define DRAWLET_EXPORT __attribute__((visibility("default")))
#endif

/* The module's only export. Every call returns the same record. */
DRAWLET_EXPORT DrawletRegistration* GetFilterTable(void);
typedef DrawletRegistration* (*DrawletGetFilterTableFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* DRAWLET_FILTER_H */
