/* What a gauge shows: the filled width in pixels and the percentage read off it. Portable. */
#ifndef ZFIX_GAUGE_MATH_H
#define ZFIX_GAUGE_MATH_H

/* (position / range) x width in single precision, truncated, at most width. A range of 0
   shows an empty gauge until something is done, then a full one. */
inline unsigned GaugeFilled(long range, long pos, long width)
{
    if (width <= 0)
        return 0;
    if (range == 0)
        return pos > 0 ? (unsigned)width : 0u;
    float f = ((float)pos / (float)range) * (float)width;
    if (f <= 0.0f)
        return 0;
    unsigned filled = (unsigned)f;
    return filled > (unsigned)width ? (unsigned)width : filled;
}

/* The percentage follows the filled pixels; a gauge of width 0 reads 100. */
inline unsigned GaugePercent(unsigned filled, long width)
{
    return width > 0 ? filled * 100u / (unsigned)width : 100u;
}

#endif
