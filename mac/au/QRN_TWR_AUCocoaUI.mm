// The unit's Cocoa view (built on macOS only): an NSView that hands
// everything to AUEditorView. The timer targets the class, not the view,
// so that it does not keep the view alive.
#import <AudioUnit/AUCocoaUIView.h>
#import <Cocoa/Cocoa.h>
#include "mac/au/AUEditorView.h"

@interface QRN_TWR_AUCocoaUI : NSView <AUCocoaUIBase> {
    tonewright::AUEditorView* _helper;
    NSTimer* _idleTimer;
}
@end

@implementation QRN_TWR_AUCocoaUI
- (unsigned)interfaceVersion { return 0; }
- (NSString*)description { return @"Quarrystone Cocoa UI"; }
- (NSView*)uiViewForAudioUnit:(AudioUnit)unit withSize:(NSSize)size {
    return [[[[self class] alloc] initWithAudioUnit:unit] autorelease];
}
- (id)initWithAudioUnit:(AudioUnit)unit {
    if (!(self = [super initWithFrame:NSZeroRect])) return self;
    _helper = new tonewright::AUEditorView(unit, self);
    const tonewright::AUEditorView::Frame f = _helper->frame();
    [self setFrame:NSMakeRect(f.x, f.y, f.width, f.height)];
    _idleTimer = [[NSTimer scheduledTimerWithTimeInterval:tonewright::AUEditorView::kTickSeconds target:[self class]
        selector:@selector(onIdleTimer:) userInfo:[NSValue valueWithPointer:_helper] repeats:YES] retain];
    return self;
}
+ (void)onIdleTimer:(NSTimer*)timer {
    if (!static_cast<tonewright::AUEditorView*>([[timer userInfo] pointerValue])->tick()) [timer invalidate];
}
- (void)dealloc {
    [_idleTimer invalidate];
    [_idleTimer release];
    _idleTimer = nil;
    delete _helper;
    [super dealloc];
}
@end
