/* A libXext stand-in whose Shape functions answer as on a server without SHAPE (which Xvfb
   cannot switch off) and count the requests such a server would refuse. */
int jex_noshape_requests = 0;
int XShapeQueryExtension(void *display, int *event_base, int *error_base)
{
    return (void)display, (void)event_base, (void)error_base, 0;
}
void XShapeCombineMask(void *display, unsigned long w, int kind, int x, int y, unsigned long p,
                       int o)
{
    (void)display, (void)w, (void)kind, (void)x, (void)y, (void)p, (void)o;
    ++jex_noshape_requests;
}
void *XShapeGetRectangles(void *display, unsigned long w, int kind, int *count, int *ordering)
{
    return (void)display, (void)w, (void)kind, (void)count, (void)ordering, (void *)0;
}
